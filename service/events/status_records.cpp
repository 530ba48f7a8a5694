#include "events/status_records.h"

#include <string>

#include "config.h"
#include "text_format.h"

namespace zep {
namespace {

constexpr char kStatusScript[] = "status.bat";
constexpr int kCategoryKind = 1;
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

void StopServiceRecord(Launcher& launcher, const MessageTables& messages) {
  FixedRecord(launcher, messages, 101, "Stop Service");
}

void ShutdownStartRecord(Launcher& launcher, const MessageTables& messages) {
  FixedRecord(launcher, messages, 103, "Start to Shutdown");
}

}  // namespace zep
