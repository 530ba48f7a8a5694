// Pure readers for the monitor's use of the UPS's ASCII answers: the status
// bytes of "&S1" and "QQ", the measurements of "QQ" and "Q1", the battery
// figure of "&R", the model, version and rating texts of "&M" and "%M", and
// the ratings the monitor works out from them. The monitor loop only sends
// the commands and passes the answers through here.
//
// Every length counts every byte received, the CR included. An answer of
// the wrong length or shape is not used (the reader returns 0 and changes
// nothing) but still counts as answered for the monitor.
#pragma once

#include <cstdint>

#include "protocol/status_datagrams.h"

namespace zep {

/// Lengths of the answers that are used.
constexpr int kStatusAnswerLength = 16;      // "&S1"
constexpr int kQqAnswerLength = 54;          // "QQ", starting with "("
constexpr int kBatteryAnswerLength = 16;     // "&R"
constexpr int kQ1AnswerLength = 47;          // "Q1", starting with "("
constexpr int kModelAnswerMinLength = 16;    // "&M", at least
constexpr int kVersionAnswerMinLength = 27;  // "%M", at least

/// One entry of the monitor's status ring: the three inputs of
/// ReportConditionChanges.
struct StatusRingEntry {
  uint8_t alarm_summary = 0;  // first byte of "&S1"
  uint8_t state = 0;          // second byte of "&S1"
  uint8_t status_bits = 0;    // status characters of "QQ"
};

/// The status ring: two entries, the current one at `index`.
struct StatusRing {
  int32_t index = 0;
  /// 1: the ring has two entries.
  int32_t mask = 1;
  StatusRingEntry entries[2];
};

/// Prepares the ring for a new identification: state byte 0x02 and status
/// bits 0x06 in both entries, alarm summary 0 in the first, index 0.
void PrepareStatusRing(StatusRing* ring);

/// Moves the index to the other entry.
void AdvanceStatusRing(StatusRing* ring);

/// The entry at the ring's index.
StatusRingEntry* CurrentRingEntry(StatusRing* ring);

/// The bits the monitor adds to the alarm summary byte it reads: 0x01 for
/// an ASCII UPS (protocol mode 0) while the meter's over-temperature check
/// is armed (its value has arrived) and its last value is 51.5 or more;
/// otherwise 0.
uint8_t AlarmSummaryExtraBits(int protocol_mode, bool over_temperature_armed,
                              float over_temperature_value);

/// "&S1": exactly 16 bytes, the first four two hexadecimal digits each.
/// Stores the alarm summary byte (with `extra_bits` added) and the state
/// byte in `entry`. When the state byte lacks 0x02 the entry becomes: state
/// with 0x02 added, status bits with 0x06 added, alarm summary 0.
/// Returns 1 when used, 0 when not.
int ReadStatusAnswer(const char* answer, int length, uint8_t extra_bits,
                     StatusRingEntry* entry);

/// Tagged values read from one answer, in the order they are sent.
struct AnswerValues {
  static constexpr int kCapacity = 16;
  int count = 0;
  TaggedValue values[kCapacity];
};

/// Appends every value to the datagram; returns its new length.
int AppendAnswerValues(ValueDatagram* datagram, const AnswerValues& values);

/// "QQ": exactly 54 bytes starting with "(". From the second character:
/// field 1 / 10 as tag 192, field 2 / 10 as 160, 9 characters skipped,
/// field 4 as read as 172, fields 5, 6, 7, 8 / 10 as 208, 176, 64, 88,
/// field 9 / 10 as 169 (any mode but ASCII) or 201 (ASCII UPS, protocol
/// mode 0); then eight status characters (a character whose low 4 bits are
/// not 0 is a 1, the first is bit 7) give `*status_bits`. A field that does
/// not read as a number of 0 or more adds no value. Returns 1 when used.
int ReadQqAnswer(const char* answer, int length, int protocol_mode,
                 AnswerValues* values, uint8_t* status_bits);

/// "&R": exactly 16 bytes; the three digits from the 11th character become
/// `*battery_figure` (left unchanged when they are not a number). Returns
/// 1 when used.
int ReadBatteryAnswer(const char* answer, int length, int* battery_figure);

/// "Q1": exactly 47 bytes starting with "(". Field 1 / 10 as tag 192, field
/// 2 skipped (6 characters), field 3 / 10 as 160, field 4 as read as 172,
/// fields 5, 6, 7 / 10 as 208, 64, 88. For a binary UPS (mode not 0) also
/// measurement 24, when not negative, as (m / 100 + 0.5, truncated) / 10
/// with tag 169, and measurement 28, when not negative, with tag 176.
/// Returns 1 when used.
int ReadQ1Answer(const char* answer, int length, int protocol_mode,
                 float measurement_24, float measurement_28,
                 AnswerValues* values);

/// The texts the monitor keeps from the identification answers.
struct IdentityTexts {
  char model_text[14] = {};
  /// Binary UPS: up to 19 characters of id_text_b.
  char rating_text[20] = {};
  char version_text[8] = {};
  /// ASCII UPS: the 5 bytes after the version in "%M", and a NUL.
  char rating_record[6] = {};
};

/// "&M": at least 16 bytes; the model text is the model part
/// (CutModelText) of the first 9 characters, for a binary UPS unless the
/// mode is 0. Returns 1 when used.
int ReadModelAnswer(const char* answer, int length, int protocol_mode,
                    IdentityTexts* texts);

/// "%M": at least 27 bytes. Model text: the model part of characters 3 to
/// 17. Version text: 7 characters from the 19th (binary UPS) or 3 (ASCII
/// UPS), trailing spaces dropped. Binary UPS: the rating text takes up to
/// 19 characters of `id_text_b`; ASCII UPS: the rating record is the 5
/// bytes after the 3-character version. Returns 1 when used.
int ReadVersionAnswer(const char* answer, int length, int protocol_mode,
                      const char* id_text_b, IdentityTexts* texts);

/// The ratings of the UPS.
struct Ratings {
  int32_t rated_va = 0;
  int32_t rated_w = 0;
  int32_t rated_v = 0;
};

/// Ratings of an ASCII UPS from its model text (after the 5 characters of
/// the family marker): n x 100 VA and W from the number there, the voltage
/// code from the letter after it ("A", "J", "R"; otherwise 1) as code x 100
/// V, and the adjustments for what follows. The watts come out in exact
/// integer arithmetic (700 VA x 0.7 is 490 W).
Ratings AsciiRatings(const char* model_text);

/// Ratings of a binary UPS from the state accessors: VA and W as given, and
/// V as the high 16 bits of the rated-voltage accessor when that is not
/// negative (otherwise `ratings->rated_v` keeps its value).
void BinaryRatings(int32_t rated_va, int32_t rated_watts,
                   int32_t rated_voltage_accessor, Ratings* ratings);

/// Appends the ratings that are above 0 to the datagram, each under both of
/// its tags: VA as 226 and 234, W as 227 and 235, V as 224 and 232 (six
/// values when all are known). Returns the new length.
int AppendRatingValues(ValueDatagram* datagram, const Ratings& ratings);

}  // namespace zep
