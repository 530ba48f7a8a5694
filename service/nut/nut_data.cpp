#include "nut/nut_data.h"

#include <cmath>

#include "events/meter_values.h"
#include "info_strings.h"
#include "link/monitor_record.h"
#include "message_files.h"
#include "nut/nut_words.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "service_context.h"
#include "text_format.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Information items (set by the monitor).
constexpr int kItemModel = 0;
constexpr int kItemSerial = 1;  // a binary UPS's identification text
constexpr int kItemVersion = 2;
constexpr int kItemBatteryFigure = 7;

// Meter tags (see the meter message file).
constexpr int kTagBatteryVoltage = 64;
constexpr int kTagTemperature = 88;
constexpr int kTagOutputVoltage = 160;
constexpr int kTagOutputPowerBinary = 169;  // kVA
constexpr int kTagLoad = 172;
constexpr int kTagOutputFrequency = 176;
constexpr int kTagInputVoltage = 192;
constexpr int kTagOutputPowerText = 201;  // kVA
constexpr int kTagInputFrequency = 208;
constexpr int kTagRatedVoltage = 224;
constexpr int kTagRatedVa = 226;
constexpr int kTagRatedW = 227;
constexpr int kTagRatedVoltageToo = 232;
constexpr int kTagRatedVaToo = 234;
constexpr int kTagRatedWToo = 235;

constexpr int kNone = -1;

bool Active(const ActiveEventTable& events, int code) {
  return EventStamp(events, code) != 0;
}

// The status tokens in the order they are given, each on while any of its
// events is active; `otherwise` is given in its place when none is.
struct StatusTokenRow {
  const char* token;
  const char* otherwise;
  int codes[3];
};

constexpr StatusTokenRow kStatusTokenRows[] = {
    {"ALARM", nullptr, {3080, 1544, 2568}},
    {"OB", "OL", {3368, kNone, kNone}},
    {"BYPASS", nullptr, {96, kNone, kNone}},
    {"LB", nullptr, {2177, kNone, kNone}},
    {"OVER", nullptr, {3200, kNone, kNone}},
    {"CAL", nullptr, {2176, kNone, kNone}},
};

bool RowActive(const ActiveEventTable& events, const StatusTokenRow& row) {
  for (int code : row.codes) {
    if (code != kNone && Active(events, code)) return true;
  }
  return false;
}

// The UPS fault texts of ups.alarm, fixed in English: the message files
// may be in code page 932, which the protocol cannot carry.
constexpr char kFaultAlarmText[] = "UPS fault";

// A value goes out between double quotes, unescaped (several clients strip
// the quotes without unescaping): printable ASCII without quotes,
// backslashes and "#". Anything else is not published.
bool PublishableValue(const std::string& value) {
  if (value.empty()) return false;
  for (unsigned char c : value) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\' || c == '#') {
      return false;
    }
  }
  return true;
}

struct NutSources {
  const ServiceContext& records;
  const std::string& version;
  const std::string& status;
  const ActiveEventTable* events;
};

struct NutVariableRow;
using ReadVariable = bool (*)(const NutSources& sources,
                              const NutVariableRow& row, std::string* value);

// One variable: its name, its description, and how its value is read
// (a meter tag and the tag taken when the first has not come, an
// information item, or a fixed text, as the handler uses them).
struct NutVariableRow {
  const char* name;
  const char* description;
  ReadVariable read;
  int first;
  int second;
  const char* format_or_text;
};

bool ReadTag(const NutSources& sources, int tag, double* value) {
  const MeterValueTable* table = sources.records.meter_values;
  if (table == nullptr || tag < 0 || tag >= kMeterTagCount) return false;
  const MeterValue& entry = table->tags[tag];
  if (entry.present.load(kRelaxed) == 0) return false;
  const double x = entry.value.load(kRelaxed);
  if (!std::isfinite(x)) return false;
  *value = x;
  return true;
}

bool ReadEitherTag(const NutSources& sources, const NutVariableRow& row,
                   double* value) {
  return ReadTag(sources, row.first, value) ||
         (row.second != kNone && ReadTag(sources, row.second, value));
}

bool TagValue(const NutSources& sources, const NutVariableRow& row,
              std::string* value) {
  double x = 0.0;
  if (!ReadEitherTag(sources, row, &x)) return false;
  *value = FormatText(row.format_or_text, x);
  return true;
}

// The output power comes in kVA; the protocol wants VA.
bool KiloTagValue(const NutSources& sources, const NutVariableRow& row,
                  std::string* value) {
  double x = 0.0;
  if (!ReadEitherTag(sources, row, &x)) return false;
  *value = FormatText(row.format_or_text, x * 1000.0);
  return true;
}

bool ItemValue(const NutSources& sources, const NutVariableRow& row,
               std::string* value) {
  if (sources.records.messages == nullptr) return false;
  char text[kInfoTextSize] = {};
  if (!GetInfoString(sources.records.messages->info_strings, row.first, text,
                     sizeof text)) {
    return false;
  }
  *value = text;
  return true;
}

// The battery figure counts only as a number.
bool NumberItemValue(const NutSources& sources, const NutVariableRow& row,
                     std::string* value) {
  if (!ItemValue(sources, row, value)) return false;
  for (char c : *value) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Item 1 is the serial number of a binary UPS only; a text UPS keeps
// another text there.
bool BinaryItemValue(const NutSources& sources, const NutVariableRow& row,
                     std::string* value) {
  const UpsState* state = sources.records.ups_state;
  if (state == nullptr || state->protocol_mode.load(kRelaxed) != 1) {
    return false;
  }
  return ItemValue(sources, row, value);
}

bool NominalFrequencyValue(const NutSources& sources, const NutVariableRow&,
                           std::string* value) {
  const UpsState* state = sources.records.ups_state;
  if (state == nullptr || state->protocol_mode.load(kRelaxed) != 1) {
    return false;
  }
  const int hz = state->nominal_frequency.load(kRelaxed);
  if (hz <= 0) return false;
  *value = FormatText("%d", hz);
  return true;
}

bool FixedValue(const NutSources&, const NutVariableRow& row,
                std::string* value) {
  *value = row.format_or_text;
  return true;
}

bool VersionValue(const NutSources& sources, const NutVariableRow&,
                  std::string* value) {
  *value = sources.version;
  return true;
}

bool StatusValue(const NutSources& sources, const NutVariableRow&,
                 std::string* value) {
  *value = sources.status;
  return true;
}

bool AlarmValue(const NutSources& sources, const NutVariableRow&,
                std::string* value) {
  if (sources.events == nullptr ||
      !RowActive(*sources.events, kStatusTokenRows[0])) {
    return false;
  }
  *value = kFaultAlarmText;
  return true;
}

// Sorted by name, as the protocol's own server lists them.
constexpr NutVariableRow kVariableRows[] = {
    {"battery.charge", "Battery charge (percent)", NumberItemValue,
     kItemBatteryFigure, kNone, nullptr},
    {"battery.voltage", "Battery voltage (V)", TagValue, kTagBatteryVoltage,
     kNone, "%.1f"},
    {"device.model", "Device model", ItemValue, kItemModel, kNone, nullptr},
    {"device.serial", "Device serial number", BinaryItemValue, kItemSerial,
     kNone, nullptr},
    {"device.type", "Device type", FixedValue, kNone, kNone, "ups"},
    {"driver.name", "Driver name", FixedValue, kNone, kNone, "zeps"},
    {"driver.version", "Driver version", VersionValue, kNone, kNone, nullptr},
    {"input.frequency", "Input line frequency (Hz)", TagValue,
     kTagInputFrequency, kNone, "%.1f"},
    {"input.voltage", "Input voltage (V)", TagValue, kTagInputVoltage, kNone,
     "%.1f"},
    {"input.voltage.nominal", "Nominal input voltage (V)", TagValue,
     kTagRatedVoltage, kTagRatedVoltageToo, "%.0f"},
    {"output.frequency", "Output frequency (Hz)", TagValue, kTagOutputFrequency,
     kNone, "%.1f"},
    {"output.frequency.nominal", "Nominal output frequency (Hz)",
     NominalFrequencyValue, kNone, kNone, nullptr},
    {"output.voltage", "Output voltage (V)", TagValue, kTagOutputVoltage, kNone,
     "%.1f"},
    {"output.voltage.nominal", "Nominal output voltage (V)", TagValue,
     kTagRatedVoltage, kTagRatedVoltageToo, "%.0f"},
    {"ups.alarm", "UPS alarms", AlarmValue, kNone, kNone, nullptr},
    {"ups.firmware", "UPS firmware", ItemValue, kItemVersion, kNone, nullptr},
    {"ups.load", "Load on UPS (percent)", TagValue, kTagLoad, kNone, "%.0f"},
    {"ups.model", "UPS model", ItemValue, kItemModel, kNone, nullptr},
    {"ups.power", "Apparent power (VA)", KiloTagValue, kTagOutputPowerText,
     kTagOutputPowerBinary, "%.0f"},
    {"ups.power.nominal", "Nominal apparent power (VA)", TagValue, kTagRatedVa,
     kTagRatedVaToo, "%.0f"},
    {"ups.realpower.nominal", "Nominal real power (W)", TagValue, kTagRatedW,
     kTagRatedWToo, "%.0f"},
    {"ups.serial", "UPS serial number", BinaryItemValue, kItemSerial, kNone,
     nullptr},
    {"ups.status", "UPS status", StatusValue, kNone, kNone, nullptr},
    {"ups.temperature", "UPS temperature (degrees C)", TagValue,
     kTagTemperature, kNone, "%.1f"},
};

}  // namespace

const NutVariable* FindNutVariable(const NutUpsData& data,
                                   const std::string& name) {
  for (const NutVariable& v : data.variables) {
    if (SameNutWord(name, v.name.c_str())) return &v;
  }
  return nullptr;
}

const char* NutVariableDescription(const std::string& name) {
  for (const NutVariableRow& row : kVariableRows) {
    if (SameNutWord(name, row.name)) return row.description;
  }
  return nullptr;
}

std::string NutStatusText(const ActiveEventTable& events,
                          bool forced_shutdown) {
  std::string text = forced_shutdown ? "FSD" : "";
  for (const StatusTokenRow& row : kStatusTokenRows) {
    const char* token = RowActive(events, row) ? row.token : row.otherwise;
    if (token == nullptr) continue;
    if (!text.empty()) text += ' ';
    text += token;
  }
  return text;
}

NutUpsData ReadNutUpsData(const ServiceContext& records,
                          const std::string& version, bool stale,
                          bool forced_shutdown) {
  NutUpsData data;
  data.stale = stale;
  data.forced_shutdown = forced_shutdown;
  // Without the event table nothing is known of the power: no status.
  const std::string status =
      records.events != nullptr
          ? NutStatusText(*records.events, forced_shutdown)
          : std::string();
  const NutSources sources{records, version, status, records.events};
  for (const NutVariableRow& row : kVariableRows) {
    std::string value;
    if (row.read(sources, row, &value) && PublishableValue(value)) {
      data.variables.push_back({row.name, value});
    }
  }
  return data;
}

NutLinkFacts ReadNutLinkFacts(const ServiceContext& records) {
  NutLinkFacts facts;
  facts.link_lost =
      records.events == nullptr || Active(*records.events, kLinkEventCode);
  facts.polled = records.monitor != nullptr &&
                 records.monitor->events_current.load(kRelaxed) == 1;
  return facts;
}

bool NutDataStale(const NutLinkFacts& facts) {
  return facts.link_lost || !facts.polled;
}

}  // namespace zep
