#include "config.h"

#include <cstring>

#include "process.h"
#include "text_format.h"
#include "text_lines.h"
#include "trace.h"

namespace zep {
namespace {

constexpr char kLangKey[] = "ZEP_LANG";
constexpr int kJapaneseCodePage = 932;
constexpr int kJapanesePrimaryLanguage = 0x11;
constexpr int kPrimaryLanguageMask = 0x3FF;

// Blanks in ZEP.conf are spaces only; a tab is an ordinary character.
const char* SkipBlanks(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// The end of [begin, end) with trailing blanks dropped.
const char* DropTrailingBlanks(const char* begin, const char* end) {
  while (end > begin && end[-1] == ' ') --end;
  return end;
}

bool SameText(const char* begin, const char* end, const char* wanted) {
  size_t length = static_cast<size_t>(end - begin);
  return length == std::strlen(wanted) &&
         std::memcmp(begin, wanted, length) == 0;
}

// A header names the section between the first "[" and the last "]" after
// it, trailing blanks dropped. Leading blanks inside the brackets are kept,
// so "[ CONFIG]" names another section.
bool IsHeaderOf(const char* line, const char* section) {
  const char* p = SkipBlanks(line);
  if (*p == ';') return false;
  const char* open = std::strchr(p, '[');
  if (open == nullptr) return false;
  const char* name = open + 1;
  if (*name == '\0') return false;
  const char* close = std::strrchr(name, ']');
  if (close == nullptr) return false;
  return SameText(name, DropTrailingBlanks(name, close), section);
}

// Matches a setting line against `key`. On a match returns the length of
// the setting text that starts at *start: it ends at the first blank or ";"
// so that a comment may follow the value. Returns 0 for no match.
size_t MatchSetting(char* line, const char* key, const char** start) {
  char* feed = std::strchr(line, '\n');
  if (feed != nullptr) *feed = '\0';
  const char* p = SkipBlanks(line);
  if (*p == ';') return 0;
  const char* equals = std::strchr(p, '=');
  if (equals == nullptr) return 0;
  if (!SameText(p, DropTrailingBlanks(p, equals), key)) return 0;
  *start = p;
  return std::strcspn(p, " ;");
}

// Puts a setting text read from the file; a text without "=" (a blank
// before the "=") is refused by the environment and changes nothing.
void PutEntry(const std::string& path, const char* section, const char* key) {
  char entry[kConfigEntrySize];
  if (ReadConfigEntryAt(entry, path.c_str(), section, key) > 0) {
    PutEnvironmentText(entry);
  }
}

void PutEntryWithDefault(const std::string& path, const char* section,
                         const char* key, int default_value) {
  char entry[kConfigEntrySize];
  if (ReadConfigEntryAt(entry, path.c_str(), section, key) <= 0) {
    FormatFixed(entry, sizeof entry, "%s=%d", key, default_value);
  }
  PutEnvironmentText(entry);
}

void PutAndTrace(const char* setting) {
  PutEnvironmentText(setting);
  TraceFormat("%s\n", setting);
}

// The service always follows the code page: Japanese (no ZEP_LANG) on code
// page 932, English otherwise. A refresh leaves a ZEP_LANG already set.
void SetServiceLanguage(bool full, const CodePageFacts& facts) {
  std::string current;
  bool is_set = GetEnvironmentValue(kLangKey, &current);
  if (is_set && !full) return;
  const char* language = facts.ansi_code_page == kJapaneseCodePage ? "" : "en";
  if (is_set ? current == language : language[0] == '\0') return;
  char entry[kConfigEntrySize];
  FormatFixed(entry, sizeof entry, "%s=%s", kLangKey, language);
  PutAndTrace(entry);
}

// The tray honours ZEP_LANG from the environment first, then from the file,
// then the user's interface language. Only English is ever put: Japanese
// is the absence of the setting.
void SetTrayLanguage(const std::string& path, const CodePageFacts& facts) {
  if (GetEnvironmentValue(kLangKey, nullptr)) return;
  char entry[kConfigEntrySize];
  bool english;
  if (ReadConfigEntryAt(entry, path.c_str(), kConfigSection, kLangKey) > 0) {
    // A bare key (a blank stood before the "=") reads as an empty value.
    const char* equals = std::strchr(entry, '=');
    const char* value = equals != nullptr ? equals + 1 : "";
    english = std::strcmp(value, "en") == 0 || std::strcmp(value, "EN") == 0 ||
              !facts.japanese_code_page_available;
  } else {
    english =
        (facts.ui_language & kPrimaryLanguageMask) != kJapanesePrimaryLanguage;
  }
  if (!english) return;
  FormatFixed(entry, sizeof entry, "%s=%s", kLangKey, "en");
  PutAndTrace(entry);
}

std::string ConfigFilePath() {
  std::string directory = ExecutableDirectory();
  if (directory.empty()) return std::string();
  return directory + kConfigFileName;
}

}  // namespace

CodePageFacts CurrentCodePageFacts() {
  CodePageFacts facts;
  facts.ansi_code_page = AnsiCodePage();
  facts.japanese_code_page_available = CodePageAvailable(kJapaneseCodePage);
  facts.ui_language = UserInterfaceLanguage();
  return facts;
}

int ReadConfigEntryAt(char* out, const char* path, const char* section,
                      const char* key) {
  if (path == nullptr || section == nullptr || key == nullptr ||
      section[0] == '\0' || key[0] == '\0') {
    return -1;
  }
  TextLineReader reader;
  if (!reader.Open(path)) return -1;
  char line[kLinePieceSize];
  bool in_section = false;
  // The rest of an over-long line is skipped, never read as a line of its
  // own: the tail of a long comment must not become a setting.
  while (!in_section && reader.ReadLine(line, sizeof line, nullptr)) {
    in_section = IsHeaderOf(line, section);
  }
  // The search runs on to the end of the file, past later headers.
  while (in_section && reader.ReadLine(line, sizeof line, nullptr)) {
    const char* start = nullptr;
    size_t length = MatchSetting(line, key, &start);
    if (length == 0) continue;
    if (out != nullptr) {
      std::memcpy(out, start, length);
      out[length] = '\0';
    }
    return static_cast<int>(length);
  }
  return 0;
}

int ReadConfigEntry(char* out, const char* file_name, const char* section,
                    const char* key) {
  if (file_name == nullptr || file_name[0] == '\0') return -1;
  std::string directory = ExecutableDirectory();
  if (directory.empty()) return -1;
  std::string path = directory + file_name;
  if (path.size() > kMaxPathLength) return -1;
  return ReadConfigEntryAt(out, path.c_str(), section, key);
}

std::string CheckConfigFile(const std::string& path) {
  TextLineReader reader;
  if (!reader.Open(path.c_str())) {
    return "cannot be opened (" + reader.OpenError() +
           "); the built-in settings apply";
  }
  std::string problem;
  char line[kLinePieceSize];
  bool has_config = false;
  int number = 0;
  int first_cut = 0;
  bool cut = false;
  while (reader.ReadLine(line, sizeof line, &cut)) {
    ++number;
    if (cut && first_cut == 0) first_cut = number;
    has_config = has_config || IsHeaderOf(line, kConfigSection);
  }
  if (!has_config) {
    problem = "has no [CONFIG] section; the built-in settings apply";
  }
  if (first_cut != 0) {
    if (!problem.empty()) problem += "; ";
    problem += FormatText(
        "line %d is longer than %d characters; the rest of it is ignored",
        first_cut, static_cast<int>(kLinePieceSize - 1));
  }
  return problem;
}

std::string LoadServiceConfigurationFrom(const std::string& path, bool full,
                                         const CodePageFacts& facts) {
  PutEntry(path, kProductSection, "ZEP_VERSION");
  SetServiceLanguage(full, facts);
  if (full) {
    PutEntryWithDefault(path, kConfigSection, "ZEP_UPS_DELAY", 2);
    PutEntryWithDefault(path, kConfigSection, "ZEP_UPS_RESTART", 1);
    // The port settings take effect only while no UPS has been found.
    PutEntry(path, kConfigSection, "ZEP_PORT");
    PutEntry(path, kConfigSection, "ZEP_MAX_PORT");
  } else {
    PutEntry(path, kConfigSection, "ZEP_UPS_DELAY");
    PutEntry(path, kConfigSection, "ZEP_UPS_RESTART");
  }
  if (full || !GetEnvironmentValue("ZEP_FIXED_FLAG", nullptr)) {
    char entry[kConfigEntrySize];
    if (ReadConfigEntryAt(entry, path.c_str(), kConfigSection,
                          "ZEP_FIXED_FLAG") > 0) {
      PutAndTrace(entry);
    }
  }
  PutEntry(path, kConfigSection, "ZEP_METER_CYCLE");
  PutEntry(path, kConfigSection, "ZEP_AWAY_MODE");
  PutEntry(path, kConfigSection, "ZEP_MON_CYCLE");
  if (full) {
    PutEntryWithDefault(path, kConfigSection, "ZEP_EXEC_WAIT", 5);
  } else {
    PutEntry(path, kConfigSection, "ZEP_EXEC_WAIT");
  }
  PutEntry(path, kConfigSection, "ZEP_PF_WAIT");
  PutEntry(path, kConfigSection, "ZEP_LB_WAIT");
  return CheckConfigFile(path);
}

std::string LoadServiceConfiguration(bool full) {
  return LoadServiceConfigurationFrom(ConfigFilePath(), full,
                                      CurrentCodePageFacts());
}

std::string LoadTrayConfigurationFrom(const std::string& path,
                                      const CodePageFacts& facts) {
  char entry[kConfigEntrySize];
  int found =
      ReadConfigEntryAt(entry, path.c_str(), kProductSection, "ZEP_VERSION");
  if (found <= 0) {
    FormatFixed(entry, sizeof entry, "%s=%s", "ZEP_VERSION", "Unknown");
  }
  PutEnvironmentText(entry);
  SetTrayLanguage(path, facts);
  PutEntryWithDefault(path, kConfigSection, "ZEP_POPUP", 1);
  PutEntryWithDefault(path, kConfigSection, "ZEP_GUI_CYCLE", 5000);
  return CheckConfigFile(path);
}

std::string LoadTrayConfiguration() {
  return LoadTrayConfigurationFrom(ConfigFilePath(), CurrentCodePageFacts());
}

int GetConfigText(char* out, const char* key) {
  if (out == nullptr || key == nullptr) return -1;
  std::string value;
  if (!GetEnvironmentValue(key, &value)) return -1;
  // Always leave room for the terminator; the unused rest is zero.
  std::memset(out, 0, kConfigValueSize);
  return static_cast<int>(CopyText(out, kConfigValueSize, value.c_str()));
}

int ConfigTextLength(const char* key) {
  std::string value;
  if (key == nullptr || !GetEnvironmentValue(key, &value)) return -1;
  return static_cast<int>(value.size());
}

int GetConfigInt(const char* key) {
  char text[kConfigValueSize];
  if (GetConfigText(text, key) < 0) return -1;
  int value = 0;
  if (!ParseLeadingDecimal(text, &value)) return -1;
  return value;
}

}  // namespace zep
