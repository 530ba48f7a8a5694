#include "protocol/ascii_answers.h"

#include <cstring>

#include "protocol/answer_fields.h"
#include "text_format.h"

namespace zep {
namespace {

// Tags of the measurement values.
constexpr int kTagInputVoltage = 192;   // measurement 57
constexpr int kTagOutputVoltage = 160;  // measurement 79
constexpr int kTagLoad = 172;
constexpr int kTagFrequency = 208;  // measurement 29
constexpr int kTagMeasurement28 = 176;
constexpr int kTagMeasurement34 = 64;
constexpr int kTagTemperature = 88;  // measurement 63
constexpr int kTagPowerBinary = 169;
constexpr int kTagPowerAscii = 201;

// Numbers in model texts are held within this magnitude; no rating comes
// near it, and it keeps every product below in range.
constexpr long long kModelNumberLimit = 1000000;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AddValue(AnswerValues* values, int tag, double value) {
  if (values->count < AnswerValues::kCapacity) {
    values->values[values->count].tag = tag;
    values->values[values->count].value = value;
    ++values->count;
  }
}

// Reads the field at `*pos` with ReadField and moves past it. Returns the
// value, or -1 when the field gave none.
int NextField(const char* text, int* pos) {
  int value = -1;
  *pos += ReadField(&value, text + *pos);
  return value;
}

// Adds the field at `*pos`, divided by `divisor`, when it gave a value.
void AddField(const char* text, int* pos, int tag, double divisor,
              AnswerValues* values) {
  int value = NextField(text, pos);
  if (value >= 0) AddValue(values, tag, value / divisor);
}

void Skip(int count, int length, int* pos) {
  *pos = *pos + count < length ? *pos + count : length;
}

// The number at the start of `text` as atoi reads it (blanks, a sign,
// digits; 0 when there is none), held within kModelNumberLimit.
long long LeadingNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  while (IsDigit(*p)) {
    if (value < kModelNumberLimit) value = value * 10 + (*p - '0');
    ++p;
  }
  if (value > kModelNumberLimit) value = kModelNumberLimit;
  return negative ? -value : value;
}

int32_t ToInt32(long long value) {
  constexpr long long kMax = 2147483647LL;
  if (value > kMax) return static_cast<int32_t>(kMax);
  if (value < -kMax - 1) return static_cast<int32_t>(-kMax - 1);
  return static_cast<int32_t>(value);
}

}  // namespace

void PrepareStatusRing(StatusRing* ring) {
  for (StatusRingEntry& entry : ring->entries) {
    entry.state = 0x02;
    entry.status_bits = 0x06;
  }
  ring->entries[0].alarm_summary = 0;
  ring->index = 0;
}

void AdvanceStatusRing(StatusRing* ring) {
  ring->index = (ring->index + 1) & ring->mask & 1;
}

StatusRingEntry* CurrentRingEntry(StatusRing* ring) {
  return &ring->entries[ring->index & 1];
}

uint8_t AlarmSummaryExtraBits(int protocol_mode, bool over_temperature_armed,
                              float over_temperature_value) {
  return protocol_mode == 0 && over_temperature_armed &&
                 over_temperature_value >= 51.5f
             ? 0x01
             : 0x00;
}

int ReadStatusAnswer(const char* answer, int length, uint8_t extra_bits,
                     StatusRingEntry* entry) {
  if (answer == nullptr || entry == nullptr || length != kStatusAnswerLength) {
    return 0;
  }
  int digits[4];
  for (int i = 0; i < 4; ++i) {
    digits[i] = HexValue(answer[i]);
    if (digits[i] < 0) return 0;
  }
  uint8_t alarm_summary =
      static_cast<uint8_t>(((digits[0] << 4) | digits[1]) | extra_bits);
  uint8_t state = static_cast<uint8_t>((digits[2] << 4) | digits[3]);
  if ((state & 0x02) == 0) {
    entry->state = static_cast<uint8_t>(state | 0x02);
    entry->status_bits = static_cast<uint8_t>(entry->status_bits | 0x06);
    entry->alarm_summary = 0;
  } else {
    entry->state = state;
    entry->alarm_summary = alarm_summary;
  }
  return 1;
}

int AppendAnswerValues(ValueDatagram* datagram, const AnswerValues& values) {
  int length = ValueDatagramLength(*datagram);
  for (int i = 0; i < values.count; ++i) {
    length =
        AppendValue(datagram, values.values[i].tag, values.values[i].value);
  }
  return length;
}

int ReadQqAnswer(const char* answer, int length, int protocol_mode,
                 AnswerValues* values, uint8_t* status_bits) {
  if (answer == nullptr || values == nullptr || status_bits == nullptr ||
      length != kQqAnswerLength || answer[0] != '(') {
    return 0;
  }
  char text[kQqAnswerLength + 1];
  std::memcpy(text, answer, kQqAnswerLength);
  text[kQqAnswerLength] = '\0';

  AnswerValues read;
  int pos = 1;
  AddField(text, &pos, kTagInputVoltage, 10.0, &read);
  AddField(text, &pos, kTagOutputVoltage, 10.0, &read);
  Skip(9, kQqAnswerLength, &pos);
  AddField(text, &pos, kTagLoad, 1.0, &read);
  AddField(text, &pos, kTagFrequency, 10.0, &read);
  AddField(text, &pos, kTagMeasurement28, 10.0, &read);
  AddField(text, &pos, kTagMeasurement34, 10.0, &read);
  AddField(text, &pos, kTagTemperature, 10.0, &read);
  AddField(text, &pos, protocol_mode == 0 ? kTagPowerAscii : kTagPowerBinary,
           10.0, &read);

  // Characters past the end of the answer count as 0.
  uint8_t bits = 0;
  for (int i = 0; i < 8; ++i) {
    char c = pos + i < kQqAnswerLength ? text[pos + i] : '\0';
    if ((c & 0x0F) != 0) bits = static_cast<uint8_t>(bits | (0x80 >> i));
  }
  *values = read;
  *status_bits = bits;
  return 1;
}

int ReadBatteryAnswer(const char* answer, int length, int* battery_figure) {
  if (answer == nullptr || battery_figure == nullptr ||
      length != kBatteryAnswerLength) {
    return 0;
  }
  char text[kBatteryAnswerLength + 1];
  std::memcpy(text, answer, kBatteryAnswerLength);
  text[kBatteryAnswerLength] = '\0';
  ReadThreeDigits(battery_figure, text + 10);
  return 1;
}

int ReadQ1Answer(const char* answer, int length, int protocol_mode,
                 float measurement_24, float measurement_28,
                 AnswerValues* values) {
  if (answer == nullptr || values == nullptr || length != kQ1AnswerLength ||
      answer[0] != '(') {
    return 0;
  }
  char text[kQ1AnswerLength + 1];
  std::memcpy(text, answer, kQ1AnswerLength);
  text[kQ1AnswerLength] = '\0';

  AnswerValues read;
  int pos = 1;
  AddField(text, &pos, kTagInputVoltage, 10.0, &read);
  Skip(6, kQ1AnswerLength, &pos);
  AddField(text, &pos, kTagOutputVoltage, 10.0, &read);
  AddField(text, &pos, kTagLoad, 1.0, &read);
  AddField(text, &pos, kTagFrequency, 10.0, &read);
  AddField(text, &pos, kTagMeasurement34, 10.0, &read);
  AddField(text, &pos, kTagTemperature, 10.0, &read);
  if (protocol_mode != 0) {
    if (measurement_24 >= 0.0f) {
      // Hundreds of VA, rounded, then in tenths.
      double hundreds = measurement_24 / 100.0 + 0.5;
      long long whole =
          hundreds < 2e9 ? static_cast<long long>(hundreds) : 2000000000LL;
      AddValue(&read, kTagPowerBinary, whole / 10.0);
    }
    if (measurement_28 >= 0.0f) {
      AddValue(&read, kTagMeasurement28, measurement_28);
    }
  }
  *values = read;
  return 1;
}

int ReadModelAnswer(const char* answer, int length, int protocol_mode,
                    IdentityTexts* texts) {
  if (answer == nullptr || texts == nullptr || length < kModelAnswerMinLength) {
    return 0;
  }
  constexpr int kModelField = 9;
  char head[kModelField + 1];
  std::memcpy(head, answer, kModelField);
  head[kModelField] = '\0';
  CutModelText(texts->model_text, sizeof texts->model_text, head,
               protocol_mode != 0);
  return 1;
}

int ReadVersionAnswer(const char* answer, int length, int protocol_mode,
                      const char* id_text_b, IdentityTexts* texts) {
  if (answer == nullptr || texts == nullptr ||
      length < kVersionAnswerMinLength) {
    return 0;
  }
  bool binary_ups = protocol_mode != 0;
  // Everything used lies within the first 27 bytes.
  char head[kVersionAnswerMinLength + 1];
  std::memcpy(head, answer, kVersionAnswerMinLength);
  head[kVersionAnswerMinLength] = '\0';

  constexpr int kModelStart = 2;
  constexpr int kModelEnd = 17;
  constexpr int kVersionStart = 18;
  char model[kModelEnd - kModelStart + 1];
  std::memcpy(model, head + kModelStart, kModelEnd - kModelStart);
  model[kModelEnd - kModelStart] = '\0';
  CutModelText(texts->model_text, sizeof texts->model_text, model, binary_ups);

  int width = CopyFixed(texts->version_text, sizeof texts->version_text,
                        head + kVersionStart, binary_ups);
  if (binary_ups) {
    CopyText(texts->rating_text, sizeof texts->rating_text, id_text_b);
  } else {
    CopyRatingRecord(texts->rating_record, sizeof texts->rating_record,
                     head + kVersionStart + width);
  }
  return 1;
}

Ratings AsciiRatings(const char* model_text) {
  Ratings ratings;
  if (model_text == nullptr) model_text = "";
  size_t length = std::strlen(model_text);
  auto at = [model_text, length](size_t i) {
    return i < length ? model_text[i] : '\0';
  };

  // 1. The number after the family marker: n x 100 VA and W.
  size_t p = length < 5 ? length : 5;
  long long n = LeadingNumber(model_text + p);
  long long va = n > 0 ? n * 100 : 0;
  long long w = va;

  // 2. The voltage code from the letter after the digits, and where the
  // rest begins.
  size_t q = p;
  while (IsDigit(at(q))) ++q;
  int code = 1;
  size_t rest = q;
  switch (at(q)) {
    case 'A':
      code = at(q + 2) == 'S' ? 2 : (at(q + 2) & 0x0F);
      rest = q + 3;
      break;
    case 'J':
      if (at(q + 1) != '\0') {
        code = at(q + 1) & 0x0F;
        rest = q + 2;
      } else {
        rest = length;
      }
      break;
    case 'R':
      code = at(q + 2) & 0x0F;
      rest = q + 3;
      break;
    default:
      break;
  }
  if (rest > length) rest = length;

  // 3. and 4. The voltage, adjusted by what follows the code. The watts
  // factors are applied in integers: in floating point 700 x 0.7 comes out
  // just below 490 and would be cut to 489.
  long long v = code * 100LL;
  if (rest < length) {
    long long k = LeadingNumber(model_text + rest);
    if (code == 1) {
      v += 5 * k;
      w = va > 1000 ? va * 8 / 10 : va * 7 / 10;
    } else if (code == 2) {
      v += k == 1 ? 8 : k * 10;
      w = va >= 1000 ? va * 8 / 10 : (va * 64 + 500) / 1000 * 10;
    }
  }
  ratings.rated_va = ToInt32(va);
  ratings.rated_w = ToInt32(w);
  ratings.rated_v = ToInt32(v);
  return ratings;
}

void BinaryRatings(int32_t rated_va, int32_t rated_watts,
                   int32_t rated_voltage_accessor, Ratings* ratings) {
  ratings->rated_va = rated_va;
  ratings->rated_w = rated_watts;
  if (rated_voltage_accessor >= 0) {
    ratings->rated_v = rated_voltage_accessor >> 16;
  }
}

int AppendRatingValues(ValueDatagram* datagram, const Ratings& ratings) {
  struct Pair {
    int32_t value;
    int tags[2];
  };
  const Pair pairs[] = {{ratings.rated_va, {226, 234}},
                        {ratings.rated_w, {227, 235}},
                        {ratings.rated_v, {224, 232}}};
  int length = ValueDatagramLength(*datagram);
  for (const Pair& pair : pairs) {
    if (pair.value <= 0) continue;
    for (int tag : pair.tags) length = AppendValue(datagram, tag, pair.value);
  }
  return length;
}

}  // namespace zep
