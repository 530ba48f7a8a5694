// The binary UPS protocol: request frames to the UPS, reply chains from it,
// the message table that pairs each request with the parser of its reply,
// and the poll sequence that picks the next status request.
//
// Request frame: 0xAB, N = 1 + data bytes, request ID, data, checksum (all
// bytes sum to 0 modulo 256); while the protocol is still unknown a CR
// follows, so that an ASCII UPS answers it with its "NG" text.
// Reply frame: 0xAB, reply type 1..20, payload length 1..127, frame number
// (bits 0-6, from 1; bit 7 marks the last frame), payload, checksum.
// Multi-byte values inside payloads are little-endian.
//
// Everything here runs on the UPS I/O thread; the bytes come from a serial
// line and are checked against what arrived before they are read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zep {

struct UpsState;

constexpr uint8_t kFrameStart = 0xAB;
constexpr uint8_t kCarriageReturn = 0x0D;
constexpr int kReplyAssemblySize = 1276;

/// The payloads of one reply chain joined in frame order. A chain longer
/// than the record is cut at its size.
struct ReplyAssembly {
  int32_t count = 0;
  uint8_t bytes[kReplyAssemblySize] = {};
};

/// Turns the text in `buffer` (NUL-terminated within `capacity`) into a
/// request frame in the same buffer; returns the frame length or -1.
using RequestBuilder = int (*)(const UpsState& state, uint8_t* buffer,
                               size_t capacity);
/// Reads a joined reply into the state; returns 1 when the payload was
/// taken, 0 when it was ignored.
using ReplyParser = int (*)(UpsState& state, const ReplyAssembly& reply);

struct BinaryMessageRow {
  /// Bits 0-7: the request ID of the builder; bits 8-15: the reply type of
  /// the parser.
  uint32_t key;
  RequestBuilder build;
  ReplyParser parse;
};

/// 17 rows and an end row with key 0.
extern const BinaryMessageRow BinaryMessageTable[18];

// Request IDs the ASCII command table asks for by name.
constexpr uint8_t kRequestFixedCode = 0xCF;
constexpr uint8_t kRequestCancel = 0x89;
constexpr uint8_t kRequestShutdownRestart = 0x8A;
constexpr uint8_t kRequestShutdown = 0x8B;
constexpr uint8_t kRequestScheduleOn = 0x91;
constexpr uint8_t kRequestScheduleOff = 0x93;
constexpr uint8_t kRequestTest = 0xB1;
constexpr uint8_t kRequestSetting = 0x95;

/// The data of the 0xCF request, sent before every translated control
/// request. The UPS expects a fixed 3-byte code; the service's code is
/// 0x5A 0x45 0x50 (the letters "ZEP").
constexpr uint8_t kFixedCodeByte0 = 0x5A;
constexpr uint8_t kFixedCodeByte1 = 0x45;
constexpr uint8_t kFixedCodeByte2 = 0x50;

/// Writes a request frame for `id` with `data_length` data bytes into
/// `buffer`, with a CR after the checksum while protocol_mode is -1.
/// Returns the frame length, or -1 when it does not fit.
int BuildFrame(const UpsState& state, uint8_t id, const uint8_t* data,
               size_t data_length, uint8_t* buffer, size_t capacity);

/// Finds the first row whose request ID is `id` and calls its builder;
/// returns the frame length, or -1 when no row or no builder exists.
int BuildRequest(const UpsState& state, uint8_t id, uint8_t* buffer,
                 size_t capacity);

/// Joins the frames of a reply chain into `reply`. Returns 1 when at least
/// one frame was joined and every frame checked out, else 0. A last frame
/// sets protocol_mode to 1.
int JoinReply(UpsState& state, ReplyAssembly& reply, const uint8_t* bytes,
              size_t count);

/// Calls the parser for the reply type that follows the first 0xAB of the
/// received bytes, on the joined payload; -1 when no row has that type.
int DispatchReply(UpsState& state, const ReplyAssembly& reply,
                  const uint8_t* bytes, size_t count);

/// The request ID of the current poll (starting the identification run
/// after a reset, and the status cycle after the end of a run).
int CurrentPollId(UpsState& state);
/// Moves to the next poll; the end of a run wraps to the status cycle.
void AdvancePoll(UpsState& state);

/// The confirmation of a control request: a payload of at least 2 bytes
/// whose first byte is "1".
bool ReplyConfirms(const ReplyAssembly& reply);

// The reply parsers, by reply type.
int ParseIdentification(UpsState& state, const ReplyAssembly& reply);   // 01
int ParseRatingsAndTexts(UpsState& state, const ReplyAssembly& reply);  // 06
int ParseOperatingState(UpsState& state, const ReplyAssembly& reply);   // 13
int ParseFlags(UpsState& state, const ReplyAssembly& reply);            // 03
int ParseLimits(UpsState& state, const ReplyAssembly& reply);           // 0C
int ParseMeasurements(UpsState& state, const ReplyAssembly& reply);     // 04
int ParseAlarmValues(UpsState& state, const ReplyAssembly& reply);      // 05
int ParseGroups(UpsState& state, const ReplyAssembly& reply);           // 11
int ParseTestState(UpsState& state, const ReplyAssembly& reply);        // 0B
int ParseConfirmation(UpsState& state, const ReplyAssembly& reply);     // 09

}  // namespace zep
