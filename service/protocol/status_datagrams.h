// The two datagrams with which the monitor reports what it learns from the
// UPS: the event-change datagram (type 0x85) to the event thread and the
// value datagram (type 0x8F) to the meter thread. Builders for the sending
// side and bounded readers for the receiving threads.
//
// Event-change datagram: 0x85, n, then n entries of two bytes, most
// significant first: bit 15 set when the condition ended, bits 13-12 the
// condition group (the severity, 1..3), bits 11-0 the event code.
//
// Value datagram: 0x8F, n, two unused bytes, then n values of four bytes:
// a tag and a packed decimal (packed_decimal.h).
#pragma once

#include <cstdint>

namespace zep {

constexpr uint8_t kEventDatagramType = 0x85;
constexpr uint8_t kValueDatagramType = 0x8F;

/// The count is one byte, so a datagram holds at most 255 entries.
constexpr int kMaxEventEntries = 255;
constexpr int kEventHeaderSize = 2;
constexpr int kEventEntrySize = 2;
constexpr int kEventDatagramSize =
    kEventHeaderSize + kEventEntrySize * kMaxEventEntries;

constexpr int kMaxValues = 255;
constexpr int kValueHeaderSize = 4;
constexpr int kValueSize = 4;
constexpr int kValueDatagramSize = kValueHeaderSize + kValueSize * kMaxValues;

/// An event-change datagram being built. A new record is empty (type byte
/// set, no entries).
struct EventDatagram {
  uint8_t bytes[kEventDatagramSize] = {kEventDatagramType};
};

/// A value datagram being built. A new record is empty.
struct ValueDatagram {
  uint8_t bytes[kValueDatagramSize] = {kValueDatagramType};
};

/// Empties the datagram for reuse.
void ClearEventDatagram(EventDatagram* datagram);

/// 2 + 2n.
int EventDatagramLength(const EventDatagram& datagram);

/// Appends one entry and returns the new length (2 + 2n). The datagram is
/// left as it was, and its length returned, when it already holds 255
/// entries, when `code` is outside 0..4095 or when `group` is outside 1..3.
int AppendEventEntry(EventDatagram* datagram, int code, bool ended, int group);

/// Empties the datagram for reuse.
void ClearValueDatagram(ValueDatagram* datagram);

/// 4 + 4n.
int ValueDatagramLength(const ValueDatagram& datagram);

/// Number of values held.
int ValueCount(const ValueDatagram& datagram);

/// Appends the tag and the packed decimal of `x` and returns the new length
/// (4 + 4n). The datagram is left as it was when it already holds 255
/// values or when `tag` is outside 0..255.
int AppendValue(ValueDatagram* datagram, int tag, double x);

/// One entry of a received event-change datagram.
struct EventEntry {
  bool began = false;
  /// Bits 5-4 of the first byte: 0..3.
  int severity = 0;
  /// 0..4095.
  int code = 0;
};

/// How many entries of a received datagram of `length` bytes can be read:
/// the count byte, but never more than the complete entries that arrived.
/// -1 when it is not an event-change datagram (fewer than 2 bytes, or
/// another type); 0 when the count is 0 or no complete entry arrived.
int CountEventEntries(const uint8_t* data, int length);

/// Decodes entry `index`. False (and `entry` untouched) unless the index is
/// below CountEventEntries(data, length).
bool ReadEventEntry(const uint8_t* data, int length, int index,
                    EventEntry* entry);

/// One value of a received value datagram.
struct TaggedValue {
  int tag = 0;
  double value = 0.0;
};

/// How many values of a received datagram of `length` bytes can be read:
/// the count byte, but never more than the complete values that arrived.
/// -1 when it is not a value datagram (fewer than 2 bytes, or another type).
int CountValues(const uint8_t* data, int length);

/// Decodes value `index`. False (and `value` untouched) unless the index is
/// below CountValues(data, length).
bool ReadValue(const uint8_t* data, int length, int index, TaggedValue* value);

}  // namespace zep
