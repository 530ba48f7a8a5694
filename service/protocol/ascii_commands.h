// The ASCII command language of the service and its translation for a UPS
// that speaks the binary protocol.
//
// Every part of the service talks to the UPS in short text commands ending
// in CR. For an ASCII UPS they pass unchanged. For a binary UPS each command
// is looked up in the AsciiCommandTable: a control command becomes its
// binary request, any other command drives the next poll request, and the
// answer an ASCII UPS would have given is built from the UPS state record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zep {

struct UpsState;
struct ReplyAssembly;
class SerialLink;

/// Turns the command text in `buffer` (NUL-terminated) into a binary
/// request frame in the same buffer; returns the frame length, or 0 or less
/// when the command cannot be translated.
using AsciiRequestBuilder = int (*)(UpsState& state, char* buffer,
                                    size_t capacity);
/// Writes the ASCII answer into `buffer`; returns its length, or -1.
using AsciiReplyBuilder = int (*)(UpsState& state, const ReplyAssembly& reply,
                                  char* buffer, size_t capacity);

struct AsciiCommandRow {
  /// The beginning of the command texts the row serves; empty in the end
  /// row.
  const char* prefix;
  AsciiRequestBuilder request;
  AsciiReplyBuilder reply;
};

constexpr int kAsciiCommandRows = 33;
/// 33 rows in look-up order and an end row with an empty prefix.
extern const AsciiCommandRow AsciiCommandTable[kAsciiCommandRows + 1];

/// The first row whose prefix begins the command (compared over the
/// prefix's length, within the command's `length` bytes); -1 when none.
int FindCommandRow(const char* command, size_t length);

/// What the translation works on: the one UPS state record, the reply
/// assembly and the serial link.
struct Translator {
  UpsState& state;
  ReplyAssembly& reply;
  SerialLink& link;
};

/// Sends the command (`length` bytes in `buffer`, which must hold
/// `capacity` bytes) to the UPS: unchanged for an ASCII UPS, else as the
/// row's binary request (after the fixed-code request) or as the current
/// poll request. Returns the number of bytes sent, -1 when the send failed,
/// or the builder's result (0 or less) when the command could not be
/// translated.
int TranslateCommand(Translator& translator, char* buffer, int length,
                     size_t capacity);

/// Reads the `count` bytes of the reply into `buffer` and turns them into
/// the answer text. Returns the answer's length, or a negative value when
/// the client is to get "NG".
int TranslateReply(Translator& translator, char* buffer, int count,
                   size_t capacity);

}  // namespace zep
