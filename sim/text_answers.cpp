#include "text_answers.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "text_format.h"

namespace zep {
namespace {

constexpr char kFrameMark = static_cast<char>(0xAB);

// Status bits of the "&S1" state byte.
constexpr int kStateOnline = 0x02;  // the inverter feeds the output
constexpr int kStateMainsFailure = 0x04;
constexpr int kStateOverload = 0x08;
constexpr int kStateBatteryLow = 0x40;

// The setting code of "&S1" and the load limits, in percent.
constexpr int kSettingCode = 1;
constexpr int kLoadLimitLow = 10;
constexpr int kLoadLimitHigh = 110;

/// A value in tenths, rounded (every simulated value is exact in tenths).
int Tenths(double value) { return static_cast<int>(std::lround(value * 10)); }

/// Eight "0"/"1" characters, bit 7 first.
std::string Bits(int byte) {
  std::string text;
  for (int bit = 7; bit >= 0; --bit) text += (byte >> bit) & 1 ? '1' : '0';
  return text;
}

int StateByte(const Readings& r) {
  int state = kStateOnline;
  if (r.mains_failure) state |= kStateMainsFailure;
  if (r.battery_low) state |= kStateBatteryLow;
  if (r.overload) state |= kStateOverload;
  return state;
}

// Alarm summary, state, setting code, two zero digits, the lower load limit
// (two digits), the upper (three), and a zero: 15 characters and CR. The
// temperature alarm (bit 0x01 of the first byte) is left to the monitor,
// which raises it from the temperature field of "Q1"/"QQ".
std::string AnswerStatus(const TextContext& c) {
  return FormatText("%02X%02X%03X%d%d%02d%03d%d\r", 0, StateByte(c.readings),
                    kSettingCode, 0, 0, kLoadLimitLow, kLoadLimitHigh, 0);
}

// "(" and nine fields: input and output voltage x 10, "FFFFFFFF", load %,
// output and input frequency x 10, battery voltage x 10, temperature x 10,
// output VA in hundreds, then eight status bits: 53 characters and CR.
std::string AnswerExtended(const TextContext& c) {
  const Readings& r = c.readings;
  int status = 0x04 | 0x02;  // on line; the normal pair the monitor expects
  if (r.mains_failure) status |= 0x80;
  if (r.battery_low) status |= 0x40;
  const int hundreds_va = static_cast<int>(r.output_va / 100.0 + 0.5);
  return FormatText("(%04d %04d FFFFFFFF %03d %03d %03d %04d %03d %03d %s\r",
                    Tenths(r.input_voltage), Tenths(r.output_voltage),
                    r.load_percent, Tenths(r.output_frequency),
                    Tenths(r.input_frequency), Tenths(r.battery_voltage),
                    Tenths(r.temperature), hundreds_va, Bits(status).c_str());
}

// "(" input V, highest input V, output V, load %, frequency, battery V,
// temperature, status bits: 46 characters and CR.
std::string AnswerMeasurements(const TextContext& c) {
  const Readings& r = c.readings;
  int status = 0x01;
  if (r.mains_failure) status |= 0x80;
  if (r.battery_low) status |= 0x40;
  const int in = Tenths(r.input_voltage);
  const int max_in = Tenths(r.max_input_voltage);
  const int out = Tenths(r.output_voltage);
  const int freq = Tenths(r.output_frequency);
  const int battery = Tenths(r.battery_voltage);
  const int temp = Tenths(r.temperature);
  return FormatText(
      "(%03d.%d %03d.%d %03d.%d %03d %02d.%d %02d.%d %02d.%d %s\r", in / 10,
      in % 10, max_in / 10, max_in % 10, out / 10, out % 10, r.load_percent,
      freq / 10, freq % 10, battery / 10, battery % 10, temp / 10, temp % 10,
      Bits(status).c_str());
}

// Temperature x 10 twice, four zeros, battery capacity %, 99: 15 and CR.
// The monitor reads the capacity at the 11th character.
std::string AnswerBattery(const TextContext& c) {
  const int t = Tenths(c.readings.temperature);
  return FormatText("%03d%03d%04d%03d%02d\r", t, t, 0,
                    c.readings.battery_capacity, 99);
}

std::string AnswerOutput(const TextContext& c) {
  const Readings& r = c.readings;
  return FormatText("%03d%03d%03d%03d\r", static_cast<int>(r.input_voltage),
                    static_cast<int>(r.output_voltage), r.load_percent,
                    Tenths(r.output_frequency));
}

// The model cut to 9 characters, a space and the version: 15 and CR.
std::string AnswerModel(const TextContext& c) {
  return FormatText("%-9.9s %02d.%02d\r", c.model->name, c.model->version_major,
                    c.model->version_minor);
}

// "%M", the model in 15 characters, a space, the version in 3 characters and
// the 5-character rating record (VA in four digits, then the voltage class
// digit): 26 characters and CR.
std::string AnswerModelLong(const TextContext& c) {
  const UpsModel& m = *c.model;
  return FormatText("%%M%-15.15s %d.%d%04d%d\r", m.name, m.version_major % 10,
                    m.version_minor % 10, m.rated_va % 10000,
                    (m.rated_v / 100) % 10);
}

std::string AnswerControl(const TextContext& c) {
  return c.reject_controls ? "NG\r" : "OK\r";
}

using Builder = std::string (*)(const TextContext&);

struct TextRow {
  const char* prefix;
  TextCommandKind kind;
  Builder build;  // null: the fixed answer below
  const char* answer;
};

std::string Fixed(const TextRow& row, const TextContext& context) {
  return row.build != nullptr ? row.build(context) : row.answer;
}

constexpr TextCommandKind kQuery = TextCommandKind::kQuery;
constexpr TextCommandKind kControl = TextCommandKind::kControl;

// In look-up order: a longer prefix comes before any shorter one it starts
// with.
const TextRow kTextRows[] = {
    {"&S1\r", kQuery, AnswerStatus, nullptr},
    {"QQ\r", kQuery, AnswerExtended, nullptr},
    {"Q1\r", kQuery, AnswerMeasurements, nullptr},
    {"&O\r", kQuery, AnswerOutput, nullptr},
    {"&R\r", kQuery, AnswerBattery, nullptr},
    {"&M\r", kQuery, AnswerModel, nullptr},
    {"%M\r", kQuery, AnswerModelLong, nullptr},
    {"M\r", kQuery, nullptr, "00\r"},
    {"&KW", kQuery, nullptr, "OK\r"},
    {"&K\r", kQuery, nullptr, "NG\r"},
    {"&N\r", kQuery, nullptr, "00000000\r"},
    {"&DQ\r", kQuery, nullptr, "000\r"},
    {"&BQ\r", kQuery, nullptr, "0000\r"},
    {"%N\r", kQuery, nullptr, "0000\r"},
    {"&B", kQuery, nullptr, "OK\r"},
    {"CT\r", kControl, AnswerControl, nullptr},
    {"&C\r", kControl, AnswerControl, nullptr},
    {"C\r", kControl, AnswerControl, nullptr},
    {"&D", kQuery, nullptr, "OK\r"},
    {"&FC\r", kQuery, nullptr, "OK\r"},
    {"&F", kQuery, nullptr, "FFFFFFFFFFFFFF\r"},
    {"&I", kQuery, nullptr, "000000000000000\r"},
    {"&L\r", kQuery, nullptr, "OK\r"},
    {"&OS", kQuery, nullptr, "NG\r"},
    {"&RC\r", kQuery, nullptr, "OK\r"},
    {"TL\r", kControl, AnswerControl, nullptr},
    {"&TS", kQuery, nullptr, "OK\r"},
    {"&T\r", kControl, AnswerControl, nullptr},
    {"T\r", kControl, AnswerControl, nullptr},
    {"&Z", kControl, AnswerControl, nullptr},
    {"%Z", kQuery, nullptr, "OK\r"},
    {"E", kControl, AnswerControl, nullptr},
    {"S", kControl, AnswerControl, nullptr},
};

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

TextReply AnswerTextCommand(const std::string& command,
                            const TextContext& context) {
  TextReply reply;
  if (!command.empty() && command[0] == kFrameMark) {
    reply.key = "probe";
    reply.kind = TextCommandKind::kProbe;
    reply.answer = "NG\r";
    return reply;
  }
  for (const TextRow& row : kTextRows) {
    if (StartsWith(command, row.prefix)) {
      reply.key = row.prefix;
      reply.kind = row.kind;
      reply.answer = Fixed(row, context);
      return reply;
    }
  }
  reply.key = "?";
  reply.kind = TextCommandKind::kUnknown;
  reply.answer = "NG\r";
  return reply;
}

bool TakeTextRequest(std::string* pending, std::string* request) {
  size_t search_from = 0;
  if (!pending->empty() && (*pending)[0] == kFrameMark) {
    // A binary frame may hold a CR byte of its own; its end is known from
    // its length byte, so look for the CR only after it.
    if (pending->size() < 2) return false;
    search_from = static_cast<uint8_t>((*pending)[1]) + 3;
  }
  const size_t cr = pending->find('\r', search_from);
  if (cr == std::string::npos) return false;
  *request = pending->substr(0, cr + 1);
  pending->erase(0, cr + 1);
  return true;
}

}  // namespace zep
