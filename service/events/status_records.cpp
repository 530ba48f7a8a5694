#include "events/status_records.h"

#include <string>

#include "config.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "service_context.h"
#include "text_format.h"
#include "trace.h"

namespace zep {
namespace {

constexpr char kStatusScript[] = "status.bat";
constexpr int kLevelKind = 0;
constexpr int kCategoryKind = 1;
// The texts the records build from numbers and items ("COM%d", "%sVA"...)
// are fields of 10 characters, terminator included.
constexpr size_t kShortFieldSize = 10;
constexpr char kMissingText[] = "????";
constexpr auto kRelaxed = std::memory_order_relaxed;
// Message texts are at most 127 characters; the record's text buffers are
// bigger than that.
constexpr size_t kTextBufferSize = 264;

std::string CategoryText(const MessageTables& messages, int category,
                         const char* default_text) {
  // GetMessage leaves the buffer as it was for a record with an empty text,
  // so it starts empty.
  char text[kTextBufferSize] = {};
  GetMessage(messages, text, sizeof text, kCategoryKind, category, 0,
             default_text);
  return text;
}

void FixedRecord(Launcher& launcher, const MessageTables& messages, int code,
                 const char* default_text) {
  std::string text = CategoryText(messages, code, default_text);
  RunStatusScript(launcher, 1, code, text.c_str());
}

// The text of an information item; an item never set is empty.
std::string InfoText(const MessageTables& messages, int slot) {
  char text[kInfoTextSize] = {};
  if (!GetInfoString(messages.info_strings, slot, text, sizeof text)) {
    return std::string();
  }
  return text;
}

bool ValidCategory(int category) {
  return category >= 0 && category < kStatusCategoryCount;
}

}  // namespace

void RunStatusScript(Launcher& launcher, int level, int code, const char* text1,
                     const char* text2, const char* text3, const char* text4) {
  char level_text[10];
  char code_text[10];
  FormatFixed(level_text, sizeof level_text, "%d", level);
  FormatFixed(code_text, sizeof code_text, "%d", code);
  launcher.Launch(kStatusScript, ScriptArguments({level_text, code_text, text1,
                                                  text2, text3, text4}));
}

void StartServiceRecord(Launcher& launcher, const MessageTables& messages) {
  std::string first = CategoryText(messages, 100, "Start Service");
  std::string second =
      "ZEP" + CategoryText(messages, 105, "Version Information");
  char version[kConfigValueSize] = {};
  const char* third =
      GetConfigText(version, "ZEP_VERSION") > 0 ? version : nullptr;
  RunStatusScript(launcher, 1, 100, first.c_str(), second.c_str(), third);
}

void ProblemRecord(Launcher& launcher, const MessageTables& messages,
                   const char* what, const char* problem) {
  std::string first = CategoryText(messages, 130, "Installation problem");
  RunStatusScript(launcher, 2, 130, first.c_str(), what, problem);
}

void ReportProblem(ServiceContext& context, const char* what,
                   const std::string& problem) {
  TraceFormat("%s: %s\n", what, problem.c_str());
  if (context.launcher == nullptr) return;
  const MessageTables& messages =
      context.messages != nullptr ? *context.messages : ProcessMessageTables();
  ProblemRecord(*context.launcher, messages, what, problem.c_str());
}

void StopServiceRecord(Launcher& launcher, const MessageTables& messages) {
  FixedRecord(launcher, messages, 101, "Stop Service");
}

void ShutdownStartRecord(Launcher& launcher, const MessageTables& messages) {
  FixedRecord(launcher, messages, 103, "Start to Shutdown");
}

void ClearStatusRecordCounters(StatusRecordCounters* counters) {
  if (counters == nullptr) return;
  for (std::atomic<int32_t>& count : counters->counts) count.store(0, kRelaxed);
}

void PortRecord(Launcher& launcher, int com_number, int speed) {
  char port_text[kShortFieldSize];
  char speed_text[kShortFieldSize];
  FormatFixed(port_text, sizeof port_text, "COM%d", com_number);
  FormatFixed(speed_text, sizeof speed_text, "%dbps", speed);
  RunStatusScript(launcher, 1, 1, "Port", port_text, speed_text);
}

void SystemInformationRecord(Launcher& launcher, const MessageTables& messages,
                             int protocol_mode) {
  std::string title = CategoryText(messages, 110, "System Information");
  std::string model = InfoText(messages, 0);
  // A binary UPS has a rating text and a version; an ASCII UPS a version
  // and a rating record.
  int first = protocol_mode != 0 ? 1 : 2;
  std::string second = InfoText(messages, first);
  std::string third = InfoText(messages, first + 1);
  RunStatusScript(launcher, 1, 110, title.c_str(), model.c_str(),
                  second.c_str(), third.c_str());
}

void RatedInformationRecord(Launcher& launcher, const MessageTables& messages) {
  std::string title = CategoryText(messages, 120, "Rated Information");
  char va[kShortFieldSize];
  char watts[kShortFieldSize];
  char volts[kShortFieldSize];
  FormatFixed(va, sizeof va, "%sVA", InfoText(messages, 4).c_str());
  FormatFixed(watts, sizeof watts, "%sW", InfoText(messages, 5).c_str());
  FormatFixed(volts, sizeof volts, "%sV", InfoText(messages, 6).c_str());
  RunStatusScript(launcher, 1, 120, title.c_str(), va, watts, volts);
}

void EmitCategoryRecord(Launcher& launcher, const MessageTables& messages,
                        StatusRecordCounters* counters, int level,
                        int category) {
  if (counters == nullptr || !ValidCategory(category)) return;
  // Looking at the counter and counting up in one step: when the event and
  // the monitor threads get here at the same moment, one of them makes the
  // record.
  if (counters->counts[category].fetch_add(1, kRelaxed) > 0) return;
  char level_text[kMessageBufferSize] = {};
  char category_text[kMessageBufferSize] = {};
  GetMessage(messages, level_text, sizeof level_text, kLevelKind, level, 0,
             kMissingText);
  GetMessage(messages, category_text, sizeof category_text, kCategoryKind,
             category, 0, kMissingText);
  RunStatusScript(launcher, level, category, level_text, category_text);
}

void UpdateStatusRecords(Launcher& launcher, const MessageTables& messages,
                         StatusRecordCounters* counters,
                         const ActiveEventTable& events,
                         const EventSummary& summary,
                         const CategoryContext& category_context) {
  if (counters == nullptr) return;
  for (int category = 0; category < kStatusCategoryCount; ++category) {
    if (category == kQuietCategoryBattery || category == kQuietCategoryMains) {
      continue;
    }
    int severity =
        HighestSeverityInCategory(events, category, category_context);
    if (severity > 0) {
      EmitCategoryRecord(launcher, messages, counters, severity, category);
    } else {
      counters->counts[category].store(0, kRelaxed);
    }
  }

  int quiet = summary.summary_category.load(kRelaxed);
  bool is_quiet =
      quiet == kQuietCategoryBattery || quiet == kQuietCategoryMains;
  if (summary.summary_severity.load(kRelaxed) == 1 && is_quiet) {
    if (counters->counts[quiet].load(kRelaxed) <= 0) {
      EmitCategoryRecord(launcher, messages, counters, 1, quiet);
    }
    int other = quiet == kQuietCategoryBattery ? kQuietCategoryMains
                                               : kQuietCategoryBattery;
    counters->counts[other].store(0, kRelaxed);
    return;
  }
  counters->counts[kQuietCategoryBattery].store(0, kRelaxed);
  counters->counts[kQuietCategoryMains].store(0, kRelaxed);
}

void UpdateStatusRecords(ServiceContext& context) {
  if (context.launcher == nullptr || context.messages == nullptr ||
      context.status_counters == nullptr || context.events == nullptr ||
      context.summary == nullptr || context.ups_state == nullptr) {
    return;
  }
  UpdateStatusRecords(*context.launcher, *context.messages,
                      context.status_counters, *context.events,
                      *context.summary,
                      CategoryContextOf(*context.ups_state, *context.events));
}

}  // namespace zep
