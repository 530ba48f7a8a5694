#include "info_balloons.h"

#include "category_text.h"
#include "shell_text.h"
#include "tray_ids.h"

namespace zep {
namespace {

constexpr size_t kInfoTextBytes = 519;
constexpr char kUnknown[] = "Unknown";
// An entry value that stands for the version setting rather than an item
// of the service.
constexpr int kVersionValue = -1;

enum class ValueRule {
  kOneOrMore,      // the answer counts from 1 character; else "Unknown"
  kLeaveOutShort,  // the line is there only for 2 or more characters
};

struct InfoLine {
  int format_category;
  const char* default_format;
  int entry;
  const char* unit;
  ValueRule rule;
};

struct InfoBalloonRow {
  int command;
  int title_category;
  const char* default_title;
  InfoLine lines[4];
  int line_count;
};

constexpr InfoBalloonRow kInfoBalloons[] = {
    {ZEPG_CMD_VERSION, 105, "Version",
     {{106, "Product : %s", kVersionValue, "", ValueRule::kOneOrMore}},
     1},
    {ZEPG_CMD_SYSTEM, 110, "System Information",
     {{111, "Model : %s", 0, "", ValueRule::kOneOrMore},
      {112, "S/N   : %s", 1, "", ValueRule::kLeaveOutShort},
      {113, "Power : %s", 10, "KVA", ValueRule::kOneOrMore},
      {114, "Temp  : %s", 11, "deg C", ValueRule::kOneOrMore}},
     4},
    {ZEPG_CMD_RATED, 120, "Rated Information",
     {{121, "Capa  : %s", 4, "VA", ValueRule::kOneOrMore},
      {122, "Power : %s", 5, "W", ValueRule::kOneOrMore},
      {123, "Volt  : %s", 6, "V", ValueRule::kOneOrMore}},
     3},
    {ZEPG_CMD_BATTERY, 150, "Battery Information",
     {{152, "Remaining : %s", 7, "%", ValueRule::kOneOrMore}},
     1},
};

}  // namespace

std::string SubstituteValue(const std::string& format,
                            const std::string& value) {
  const size_t at = format.find("%s");
  if (at == std::string::npos) return format;
  return format.substr(0, at) + value + format.substr(at + 2);
}

bool BuildInfoBalloon(int command, const MessageTables& tables,
                      ServiceQueries& service, const std::string& version,
                      InfoBalloon* balloon) {
  const InfoBalloonRow* row = nullptr;
  for (const InfoBalloonRow& candidate : kInfoBalloons) {
    if (candidate.command == command) row = &candidate;
  }
  if (row == nullptr) return false;

  const std::string unknown = CategoryText(tables, kUnknownCategory, kUnknown);
  balloon->title = CategoryText(tables, row->title_category,
                                row->default_title);
  std::string text;
  for (int i = 0; i < row->line_count; ++i) {
    const InfoLine& line = row->lines[i];
    std::string answer;
    int length = -1;
    if (line.entry == kVersionValue) {
      answer = version;
      length = static_cast<int>(version.size());
    } else {
      length = service.RequestText(kKindInfo, line.entry, 0, &answer);
    }
    std::string value;
    if (line.rule == ValueRule::kLeaveOutShort) {
      if (length <= 1) continue;
      value = answer;
    } else {
      value = length >= 1 ? answer + line.unit : unknown;
    }
    // The line break follows the whole line, so that a format without "%s"
    // (or with text after it) still ends its own line.
    if (!text.empty()) text += "\r\n";
    text += SubstituteValue(CategoryText(tables, line.format_category,
                                         line.default_format),
                            value);
  }
  balloon->text = CutCp932Bytes(text, kInfoTextBytes);
  return true;
}

}  // namespace zep
