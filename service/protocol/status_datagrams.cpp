#include "protocol/status_datagrams.h"

#include <cstring>

#include "protocol/packed_decimal.h"

namespace zep {
namespace {

constexpr int kMaxEventCode = 4095;
constexpr uint16_t kEndedBit = 0x8000;

// The complete items of `item_size` bytes after a header of `header_size`
// that arrived, capped by the count byte.
int ReadableItems(const uint8_t* data, int length, int header_size,
                  int item_size) {
  int claimed = data[1];
  int arrived = length > header_size ? (length - header_size) / item_size : 0;
  return claimed < arrived ? claimed : arrived;
}

}  // namespace

void ClearEventDatagram(EventDatagram* datagram) {
  std::memset(datagram->bytes, 0, sizeof datagram->bytes);
  datagram->bytes[0] = kEventDatagramType;
}

int EventDatagramLength(const EventDatagram& datagram) {
  return kEventHeaderSize + kEventEntrySize * datagram.bytes[1];
}

int AppendEventEntry(EventDatagram* datagram, int code, bool ended, int group) {
  int count = datagram->bytes[1];
  if (count >= kMaxEventEntries || code < 0 || code > kMaxEventCode ||
      group < 1 || group > 3) {
    return EventDatagramLength(*datagram);
  }
  uint16_t entry =
      static_cast<uint16_t>((ended ? kEndedBit : 0) | (group << 12) | code);
  uint8_t* at = datagram->bytes + kEventHeaderSize + kEventEntrySize * count;
  at[0] = static_cast<uint8_t>(entry >> 8);
  at[1] = static_cast<uint8_t>(entry & 0xFF);
  datagram->bytes[1] = static_cast<uint8_t>(count + 1);
  return EventDatagramLength(*datagram);
}

void ClearValueDatagram(ValueDatagram* datagram) {
  std::memset(datagram->bytes, 0, sizeof datagram->bytes);
  datagram->bytes[0] = kValueDatagramType;
}

int ValueDatagramLength(const ValueDatagram& datagram) {
  return kValueHeaderSize + kValueSize * datagram.bytes[1];
}

int ValueCount(const ValueDatagram& datagram) { return datagram.bytes[1]; }

int AppendValue(ValueDatagram* datagram, int tag, double x) {
  int count = datagram->bytes[1];
  if (count >= kMaxValues || tag < 0 || tag > 255) {
    return ValueDatagramLength(*datagram);
  }
  EncodeTaggedValue(static_cast<uint8_t>(tag), x,
                    datagram->bytes + kValueHeaderSize + kValueSize * count);
  datagram->bytes[1] = static_cast<uint8_t>(count + 1);
  return ValueDatagramLength(*datagram);
}

int CountEventEntries(const uint8_t* data, int length) {
  if (data == nullptr || length < kEventHeaderSize ||
      data[0] != kEventDatagramType) {
    return -1;
  }
  return ReadableItems(data, length, kEventHeaderSize, kEventEntrySize);
}

bool ReadEventEntry(const uint8_t* data, int length, int index,
                    EventEntry* entry) {
  if (index < 0 || index >= CountEventEntries(data, length)) return false;
  const uint8_t* at = data + kEventHeaderSize + kEventEntrySize * index;
  entry->began = (at[0] & 0x80) == 0;
  entry->severity = (at[0] >> 4) & 0x03;
  entry->code = ((at[0] & 0x0F) << 8) | at[1];
  return true;
}

int CountValues(const uint8_t* data, int length) {
  if (data == nullptr || length < 2 || data[0] != kValueDatagramType) {
    return -1;
  }
  return ReadableItems(data, length, kValueHeaderSize, kValueSize);
}

bool ReadValue(const uint8_t* data, int length, int index, TaggedValue* value) {
  if (index < 0 || index >= CountValues(data, length)) return false;
  const uint8_t* at = data + kValueHeaderSize + kValueSize * index;
  value->tag = at[0];
  value->value = DecodePackedDecimal(at + 1);
  return true;
}

}  // namespace zep
