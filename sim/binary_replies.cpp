#include "binary_replies.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "text_format.h"

namespace zep {
namespace {

// Reply types.
constexpr uint8_t kReplyIdentification = 0x01;
constexpr uint8_t kReplyFlags = 0x03;
constexpr uint8_t kReplyMeasurements = 0x04;
constexpr uint8_t kReplyAlarms = 0x05;
constexpr uint8_t kReplyRatings = 0x06;
constexpr uint8_t kReplyConfirmation = 0x09;
constexpr uint8_t kReplyTest = 0x0B;
constexpr uint8_t kReplyLimits = 0x0C;
constexpr uint8_t kReplyGroups = 0x11;
constexpr uint8_t kReplyOperatingState = 0x13;

// Flag byte of the 0x03 reply.
constexpr uint8_t kFlagsOnline = 0x12;
constexpr uint8_t kFlagsBatteryLow = 0x20;

constexpr int kOperatingState = 32;
constexpr int kPercentBase = 1000;
constexpr int kNominalFrequency = 50;
constexpr int kFrequencyTolerance = 300;  // 3.00 Hz
constexpr int kLimitLow = 100;            // 10 % of the base
constexpr int kLimitHigh = 1100;          // 110 % of the base

// Ascending. The ones the states raise: 25 overload, 56 battery low, 57 mains
// failure, 73 over-temperature; the others stay off.
const int kSupportedAlarms[] = {0,  1,  9,  25,  26,  30, 56,
                                57, 59, 73, 149, 174, 202};

void PutU16(std::vector<uint8_t>* out, size_t offset, int value) {
  (*out)[offset] = static_cast<uint8_t>(value & 0xFF);
  (*out)[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

void AppendU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back((value >> (8 * i)) & 0xFF);
}

void PutText(std::vector<uint8_t>* out, size_t offset, size_t width,
             const char* text) {
  const size_t length = std::strlen(text);
  for (size_t i = 0; i < width; ++i) {
    (*out)[offset + i] = i < length ? static_cast<uint8_t>(text[i]) : ' ';
  }
}

struct MeasurementRow {
  int number;
  uint8_t type;
  double (*value)(const Readings&);
};

const MeasurementRow kMeasurementRows[] = {
    {kMeasureOutputW, kTypeInteger,
     [](const Readings& r) { return static_cast<double>(r.output_w); }},
    {kMeasureOutputVa, kTypeIntegerAlt,
     [](const Readings& r) { return static_cast<double>(r.output_va); }},
    {kMeasureInputFrequency, kTypeFloat,
     [](const Readings& r) { return r.input_frequency; }},
    {kMeasureOutputFrequency, kTypeHalves,
     [](const Readings& r) { return r.output_frequency; }},
    {kMeasureBatteryVoltage, kTypeQuarters,
     [](const Readings& r) { return r.battery_voltage; }},
    {kMeasureBatteryCapacity, kTypeInteger,
     [](const Readings& r) { return static_cast<double>(r.battery_capacity); }},
    {kMeasureBatteryRuntime, kTypeFloat,
     [](const Readings& r) { return static_cast<double>(r.battery_runtime); }},
    {kMeasureLoadPercent, kTypeFloat,
     [](const Readings& r) { return static_cast<double>(r.load_percent); }},
    {kMeasureInputVoltage, kTypeFloat,
     [](const Readings& r) { return r.input_voltage; }},
    {kMeasureTemperature, kTypeHalves,
     [](const Readings& r) { return r.temperature; }},
    {kMeasureOutputVoltage, kTypeFloat,
     [](const Readings& r) { return r.output_voltage; }},
};

bool Supplies(const UpsModel& model, const MeasurementRow& row) {
  return row.number != kMeasureLoadPercent || model.reports_load_percent;
}

uint32_t Encode(uint8_t type, double value) {
  switch (type) {
    case kTypeInteger:
    case kTypeIntegerAlt:
      return static_cast<uint32_t>(std::lround(value));
    case kTypeHalves:
      return static_cast<uint32_t>(std::lround(value * 2));
    case kTypeQuarters:
      return static_cast<uint32_t>(std::lround(value * 4));
    default: {
      const float f = static_cast<float>(value);
      uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      return bits;
    }
  }
}

bool AlarmOn(const Readings& r, int bit) {
  switch (bit) {
    case kAlarmOverload:
      return r.overload;
    case kAlarmBatteryLow:
      return r.battery_low;
    case kAlarmMainsFailure:
      return r.mains_failure;
    case kAlarmOverTemperature:
      return r.over_temperature;
    default:
      return false;
  }
}

std::vector<uint8_t> Identification(const BinaryContext& c) {
  const UpsModel& m = *c.model;
  // Three version pairs: 1.0 (protocol), the firmware as minor, major, and
  // one the UPS does not have (0xFF 0xFF).
  std::vector<uint8_t> p = {3, 0x00, 0x01};
  p.push_back(static_cast<uint8_t>(m.version_minor));
  p.push_back(static_cast<uint8_t>(m.version_major));
  p.push_back(0xFF);
  p.push_back(0xFF);
  // The rating byte, the VA rating in 50 VA, two unused bytes.
  p.push_back(m.rating_byte);
  p.push_back(static_cast<uint8_t>(m.rating_va_50 & 0xFF));
  p.push_back(static_cast<uint8_t>(m.rating_va_50 >> 8));
  p.push_back(0);
  p.push_back(0);
  const size_t model_length = std::strlen(m.name);
  p.push_back(static_cast<uint8_t>(model_length));
  p.insert(p.end(), m.name, m.name + model_length);

  std::vector<uint8_t> types(kMeasurementTypeCount, 0);
  for (const MeasurementRow& row : kMeasurementRows) {
    if (Supplies(m, row)) types[row.number - 1] = row.type;
  }
  p.push_back(static_cast<uint8_t>(types.size()));
  p.insert(p.end(), types.begin(), types.end());

  std::vector<uint8_t> presence(kAlarmPresenceBytes, 0);
  for (int bit : kSupportedAlarms) presence[bit / 8] |= 1 << (bit % 8);
  p.push_back(static_cast<uint8_t>(presence.size()));
  p.insert(p.end(), presence.begin(), presence.end());
  return p;
}

std::vector<uint8_t> Ratings(const BinaryContext& c) {
  std::vector<uint8_t> p(80, 0);
  PutU16(&p, 8, c.model->rated_v);
  PutU16(&p, 10, 1);
  PutText(&p, 48, 16, c.model->id_text_a);
  PutText(&p, 64, 16, c.model->id_text_b);
  return p;
}

std::vector<uint8_t> OperatingState(const BinaryContext&) {
  std::vector<uint8_t> p(2, 0);
  PutU16(&p, 0, kOperatingState);
  return p;
}

std::vector<uint8_t> Flags(const BinaryContext& c) {
  uint8_t flags = kFlagsOnline;
  if (c.readings.battery_low) flags |= kFlagsBatteryLow;
  return {0x00, flags};
}

std::vector<uint8_t> Limits(const BinaryContext& c) {
  // The fixed block and three tagged entries in one buffer of its final
  // size (growing it by insert trips a false bounds warning of GCC 12).
  const uint8_t tagged[] = {0x90, 0x0A, 0x00, 0x91, 0x14,
                            0x00, 0x92, 0x1E, 0x00};
  std::vector<uint8_t> p(32 + sizeof tagged, 0);
  PutU16(&p, 0, kPercentBase);
  PutU16(&p, 2, kNominalFrequency);
  PutU16(&p, 4, c.model->rated_watts_50);
  PutU16(&p, 8, kFrequencyTolerance);
  p[17] = static_cast<uint8_t>(c.mode_setting);
  PutU16(&p, 18, kLimitLow);
  PutU16(&p, 20, kLimitHigh);
  p[31] = 3;
  std::copy(tagged, tagged + sizeof tagged, p.begin() + 32);
  return p;
}

std::vector<uint8_t> Measurements(const BinaryContext& c) {
  std::vector<uint8_t> p;
  for (const MeasurementRow& row : kMeasurementRows) {
    if (Supplies(*c.model, row)) {
      AppendU32(&p, Encode(row.type, row.value(c.readings)));
    }
  }
  return p;
}

std::vector<uint8_t> Alarms(const BinaryContext& c) {
  std::vector<uint8_t> p;
  for (int bit : kSupportedAlarms) p.push_back(AlarmOn(c.readings, bit));
  return p;
}

std::vector<uint8_t> Groups(const BinaryContext&) { return {2, 2, 1, 1, 2, 1}; }

std::vector<uint8_t> TestState(const BinaryContext&) {
  return std::vector<uint8_t>(21, 0);
}

struct QueryRow {
  uint8_t id;
  uint8_t type;
  std::vector<uint8_t> (*build)(const BinaryContext&);
};

const QueryRow kQueryRows[] = {
    {0x31, kReplyIdentification, Identification},
    {0x36, kReplyRatings, Ratings},
    {0x43, kReplyOperatingState, OperatingState},
    {0x33, kReplyFlags, Flags},
    {0x3C, kReplyLimits, Limits},
    {0x34, kReplyMeasurements, Measurements},
    {0x35, kReplyAlarms, Alarms},
    {0x41, kReplyGroups, Groups},
    {0x3B, kReplyTest, TestState},
};

int U16At(const std::vector<uint8_t>& data, size_t offset) {
  return data[offset] | (data[offset + 1] << 8);
}

// Checks a control request, describes it, and says whether the UPS can do
// what it asks.
bool ReadControl(const RequestFrame& request, BinaryReply* reply) {
  const std::vector<uint8_t>& d = request.data;
  switch (request.id) {
    case 0x97:
      if (d.size() != 4) break;
      reply->note = FormatText("control 0x97 sub-code %d group %d value %d",
                               d[0], d[1], U16At(d, 2));
      return d[0] == 3 || d[0] == 4;
    case 0x8A:
    case 0x91:
    case 0x93:
      if (d.size() == 2) {
        reply->note =
            FormatText("control 0x%02X value %d", request.id, U16At(d, 0));
        return true;
      }
      if (d.size() == 3) {
        reply->note = FormatText("control 0x%02X value %d group %d", request.id,
                                 U16At(d, 0), d[2]);
        return true;
      }
      break;
    case 0xB1:
      reply->note = "control 0xB1 battery test";
      return true;
    case 0x95:
      if (d.size() != 3 || d[0] != 6) break;
      reply->note = FormatText("control 0x95 mode setting %d", U16At(d, 1));
      reply->new_mode_setting = U16At(d, 1);
      return true;
    default:
      break;
  }
  reply->note = FormatText("control 0x%02X with %zu data bytes not understood",
                           request.id, d.size());
  return false;
}

bool IsControl(uint8_t id) {
  return id == 0x97 || id == 0x8A || id == 0x91 || id == 0x93 || id == 0xB1 ||
         id == 0x95;
}

}  // namespace

BinaryReply AnswerRequest(const RequestFrame& request,
                          const BinaryContext& context) {
  BinaryReply reply;
  for (const QueryRow& row : kQueryRows) {
    if (row.id == request.id) {
      reply.answered = true;
      reply.type = row.type;
      reply.payload = row.build(context);
      return reply;
    }
  }
  if (request.id == 0xCF) {
    reply.note = "request 0xCF (announces a control request), not answered";
    return reply;
  }
  if (!IsControl(request.id)) {
    reply.note = FormatText("request 0x%02X unknown, not answered", request.id);
    return reply;
  }
  reply.control = true;
  reply.answered = true;
  reply.type = kReplyConfirmation;
  bool accept = ReadControl(request, &reply);
  if (context.reject_controls) {
    accept = false;
    reply.note += ", refused";
  }
  if (!accept) reply.new_mode_setting = -1;
  reply.payload = {static_cast<uint8_t>(accept ? '1' : '0'), request.id};
  return reply;
}

std::vector<uint8_t> ReplyBytes(const BinaryReply& reply) {
  if (!reply.answered) return {};
  return BuildReplyChain(reply.type, reply.payload);
}

std::vector<int> SupportedAlarmBits() {
  return std::vector<int>(std::begin(kSupportedAlarms),
                          std::end(kSupportedAlarms));
}

}  // namespace zep
