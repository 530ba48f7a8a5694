// Fuzz target: a datagram as the event thread (event-change datagrams) and
// the meter thread (value datagrams) receive it, in a buffer of exactly the
// received length. Every entry the readers admit is decoded, built again
// with the sending side's builders and read back: the two sides must agree
// (values to the five digits a packed decimal holds).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "protocol/packed_decimal.h"
#include "protocol/status_datagrams.h"

namespace zep {
namespace {

// The largest magnitude the encoder keeps without saturating.
constexpr double kLargestEncoded = 99999.0 * 1000.0;

void ReadEvents(const uint8_t* data, int length) {
  int count = CountEventEntries(data, length);
  if (count < 0) {
    Check(length < kEventHeaderSize || data[0] != kEventDatagramType,
          "only short or foreign datagrams are refused");
    return;
  }
  Check(count <= data[1], "never more entries than the count byte says");
  Check(count <= (length - kEventHeaderSize) / kEventEntrySize,
        "never more entries than arrived whole");
  EventEntry unused;
  Check(!ReadEventEntry(data, length, count, &unused) &&
            !ReadEventEntry(data, length, -1, &unused),
        "no entry is read outside the count");

  EventDatagram rebuilt;
  int rebuilt_count = 0;
  std::vector<EventEntry> kept;
  for (int i = 0; i < count; ++i) {
    EventEntry entry;
    Check(ReadEventEntry(data, length, i, &entry), "an entry within reads");
    Check(entry.severity >= 0 && entry.severity <= 3, "severity is 0..3");
    Check(entry.code >= 0 && entry.code <= 4095, "the code is 0..4095");
    if (entry.severity == 0) continue;  // no group the builder accepts
    AppendEventEntry(&rebuilt, entry.code, !entry.began, entry.severity);
    kept.push_back(entry);
    ++rebuilt_count;
  }
  const int rebuilt_length = EventDatagramLength(rebuilt);
  Check(rebuilt_length == kEventHeaderSize + kEventEntrySize * rebuilt_count,
        "the builder holds every entry");
  Check(CountEventEntries(rebuilt.bytes, rebuilt_length) == rebuilt_count,
        "a built datagram reads back whole");
  for (int i = 0; i < rebuilt_count; ++i) {
    EventEntry back;
    ReadEventEntry(rebuilt.bytes, rebuilt_length, i, &back);
    Check(back.began == kept[i].began && back.severity == kept[i].severity &&
              back.code == kept[i].code,
          "an entry built from what was read reads the same");
  }
}

void ReadValues(const uint8_t* data, int length) {
  int count = CountValues(data, length);
  if (count < 0) {
    Check(length < 2 || data[0] != kValueDatagramType,
          "only short or foreign datagrams are refused");
    return;
  }
  Check(count <= data[1], "never more values than the count byte says");
  Check(count <= (length > kValueHeaderSize
                      ? (length - kValueHeaderSize) / kValueSize
                      : 0),
        "never more values than arrived whole");
  TaggedValue unused;
  Check(!ReadValue(data, length, count, &unused),
        "no value is read outside the count");

  ValueDatagram rebuilt;
  std::vector<TaggedValue> kept;
  for (int i = 0; i < count; ++i) {
    TaggedValue value;
    Check(ReadValue(data, length, i, &value), "a value within reads");
    Check(value.tag >= 0 && value.tag <= 255, "a tag is one byte");
    Check(std::isfinite(value.value), "a decoded value is a number");
    AppendValue(&rebuilt, value.tag, value.value);
    kept.push_back(value);
  }
  const int rebuilt_length = ValueDatagramLength(rebuilt);
  Check(CountValues(rebuilt.bytes, rebuilt_length) == count,
        "a built datagram reads back whole");
  for (int i = 0; i < count; ++i) {
    TaggedValue back;
    ReadValue(rebuilt.bytes, rebuilt_length, i, &back);
    Check(back.tag == kept[i].tag, "a tag survives the round trip");
    const double original = kept[i].value;
    if (std::fabs(original) > kLargestEncoded) continue;  // saturates
    // Five digits: half a unit of the third decimal below 100, else half a
    // unit in the fifth significant digit (at most 5e-5 of the value).
    const double allowed = 0.0005 + std::fabs(original) * 5e-5;
    Check(std::fabs(back.value - original) <= allowed * (1 + 1e-9),
          "a value survives the round trip to five digits");
    Check(original == 0.0 || back.value == 0.0 ||
              (back.value < 0) == (original < 0),
          "a value keeps its sign");
  }
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  // Exactly the bytes received.
  std::vector<uint8_t> datagram(data, data + size);
  const int length = static_cast<int>(size > 4096 ? 4096 : size);
  ReadEvents(datagram.data(), length);
  ReadValues(datagram.data(), length);

  // The same bytes as a datagram of the other kind.
  if (size >= 1) {
    datagram[0] = datagram[0] == kEventDatagramType ? kValueDatagramType
                                                    : kEventDatagramType;
    ReadEvents(datagram.data(), length);
    ReadValues(datagram.data(), length);
  }

  // Every three bytes as one packed decimal.
  for (size_t i = 0; i + kPackedDecimalSize <= size && i < 64; i += 3) {
    double value = DecodePackedDecimal(data + i);
    Check(std::isfinite(value), "a packed decimal is a number");
  }
  return 0;
}
