#include "message_files.h"

#include <cstring>

#include "config.h"
#include "process.h"
#include "text_format.h"
#include "text_lines.h"
#include "trace.h"

namespace zep {
namespace {

// A text of a line as a range; the unquoted second text may be made of two
// ranges (the blanks before its next "," are cut out of the middle).
struct TextRange {
  const char* begin = nullptr;
  const char* end = nullptr;
  const char* tail = nullptr;  // kept part after the cut, up to the line end
};

const char* SkipBlanks(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

const char* DropTrailingBlanks(const char* begin, const char* end) {
  while (end > begin && end[-1] == ' ') --end;
  return end;
}

// Copies a range into a record field, cut to the field's 127 characters.
void StoreText(char* field, const TextRange& text) {
  std::string value(text.begin, text.end);
  if (text.tail != nullptr) value += text.tail;
  CopyText(field, kMessageTextSize, value.c_str());
}

// Reads a text that opens with a quote. Returns false when the quote is
// never closed; *after points behind the closing quote.
bool ReadQuoted(const char* p, TextRange* text, const char** after) {
  const char* close = std::strchr(p + 1, '"');
  if (close == nullptr) return false;
  text->begin = p + 1;
  text->end = close;
  *after = close + 1;
  return true;
}

// Splits one line piece into identifier and texts. False for a line that
// is not a record (a comment, a heading, an open quote).
bool ParseRecordLine(const char* line, int* identifier, TextRange* first,
                     TextRange* second) {
  if (!ParseLeadingDecimal(line, identifier)) return false;
  const char* comma = std::strchr(line, ',');
  if (comma == nullptr) return false;

  const char* p = comma + 1;
  const char* second_start = nullptr;
  if (*p == '"') {
    const char* after = nullptr;
    if (!ReadQuoted(p, first, &after)) return false;
    const char* next = std::strchr(after, ',');
    if (next != nullptr) second_start = next + 1;
  } else {
    p = SkipBlanks(p);
    const char* next = std::strchr(p, ',');
    first->begin = p;
    if (next != nullptr) {
      first->end = DropTrailingBlanks(p, next);
      second_start = next + 1;
    } else {
      first->end = p + std::strlen(p);
    }
  }

  if (second_start == nullptr) {
    static const char kEmpty[] = "";
    second->begin = second->end = kEmpty;
    return true;
  }
  const char* q = second_start;
  if (*q == '"') {
    const char* after = nullptr;
    return ReadQuoted(q, second, &after);
  }
  q = SkipBlanks(q);
  const char* next = std::strchr(q, ',');
  second->begin = q;
  if (next != nullptr) {
    second->end = DropTrailingBlanks(q, next);
    second->tail = next;
  } else {
    second->end = q + std::strlen(q);
  }
  return true;
}

// The records and capacity of a file-loaded kind; no records for others.
struct TableView {
  const MessageRecord* records = nullptr;
  int capacity = 0;
};

TableView TableOf(const MessageTables& tables, int kind) {
  switch (kind) {
    case kKindLevel:
      return {tables.levels, kLevelCapacity};
    case kKindCategory:
      return {tables.categories, kCategoryCapacity};
    case kKindState:
    case kKindEvent:
      return {tables.states_events, kStateEventCapacity};
    case kKindMeasurement:
      return {tables.measurements, kMeasurementCapacity};
  }
  return {};
}

void ClearRecords(MessageRecord* table, int count) {
  for (int i = 0; i < count; ++i) table[i] = MessageRecord();
}

void ClearFileTables(MessageTables* tables) {
  ClearRecords(tables->levels, kLevelCapacity);
  ClearRecords(tables->categories, kCategoryCapacity);
  ClearRecords(tables->states_events, kStateEventCapacity);
  ClearRecords(tables->measurements, kMeasurementCapacity);
}

// The information items are searched by identifier like the other tables;
// an item never set has identifier 0.
int LookupInfo(const InfoStrings& info, char* out, size_t out_size,
               int identifier, int selector) {
  for (int slot = 0; slot < kInfoStringCount; ++slot) {
    if (info.items[slot].identifier.load(std::memory_order_relaxed) !=
        identifier) {
      continue;
    }
    if (out != nullptr && out_size > 0 && selector >= 0) {
      // Items have a single text; their second text is empty.
      if (selector % 2 == 0) {
        CopyInfoText(info, slot, out, out_size);
      } else {
        out[0] = '\0';
      }
    }
    return slot;
  }
  return -1;
}

}  // namespace

MessageTables& ProcessMessageTables() {
  static MessageTables tables;
  return tables;
}

void ClearMessageTables(MessageTables* tables) {
  if (tables == nullptr) return;
  ClearFileTables(tables);
  ClearInfoStrings(&tables->info_strings);
}

int ParseMessageFile(MessageRecord* table, int capacity, const char* path,
                     std::string* problem) {
  TextLineReader reader;
  if (path == nullptr || !reader.Open(path)) {
    if (problem != nullptr) {
      *problem = "cannot be opened (" + reader.OpenError() + ")";
    }
    return -1;
  }
  if (table == nullptr || capacity < 0) capacity = 0;
  int count = 0;
  int number = 0;
  bool cut = false;
  char line[kLinePieceSize];
  while (reader.ReadLine(line, sizeof line, &cut)) {
    ++number;
    if (cut && problem != nullptr && problem->empty()) {
      *problem = FormatText(
          "line %d is longer than %d characters; the rest of it is ignored",
          number, static_cast<int>(kLinePieceSize - 1));
    }
    int identifier = 0;
    TextRange first;
    TextRange second;
    if (!ParseRecordLine(line, &identifier, &first, &second)) continue;
    if (count >= capacity) break;
    MessageRecord& record = table[count++];
    record.identifier = identifier;
    StoreText(record.first_text, first);
    StoreText(record.second_text, second);
  }
  return count;
}

int LoadMessageFilesFrom(MessageTables* tables, const std::string& directory,
                         const std::string& suffix, std::string* problems) {
  if (tables == nullptr) return -1;
  ClearFileTables(tables);
  auto read = [&](MessageRecord* table, int capacity, const char* base) {
    const std::string name = base + suffix + ".msg";
    const std::string path = directory + name;
    std::string problem;
    int count = ParseMessageFile(table, capacity, path.c_str(), &problem);
    if (!problem.empty()) {
      TraceFormat("%s: %s\n", path.c_str(), problem.c_str());
      if (problems != nullptr) {
        if (!problems->empty()) *problems += "; ";
        *problems += name + " " + problem;
      }
    }
    return count;
  };
  // The events go behind the states in the shared table. A file that
  // cannot be opened ends the load.
  if (read(tables->levels, kLevelCapacity, "level") >= 0 &&
      read(tables->categories, kCategoryCapacity, "category") >= 0) {
    int states = read(tables->states_events, kStateEventCapacity, "status");
    if (states >= 0 &&
        read(tables->states_events + states, kStateEventCapacity - states,
             "event") >= 0 &&
        read(tables->measurements, kMeasurementCapacity, "meter") >= 0) {
      return 1;
    }
  }
  ClearMessageTables(tables);
  return -1;
}

int LoadMessageFiles(MessageTables* tables, const std::string& suffix) {
  std::string directory = ExecutableDirectory();
  if (directory.empty()) {
    ClearMessageTables(tables);
    return -1;
  }
  return LoadMessageFilesFrom(tables, directory, suffix);
}

int LoadMessageFilesWithFallback(MessageTables* tables,
                                 const std::string& directory,
                                 const std::string& suffix,
                                 std::string* problems) {
  int result = LoadMessageFilesFrom(tables, directory, suffix, problems);
  const bool fell_back = result != 1 && !suffix.empty();
  if (fell_back) {
    result = LoadMessageFilesFrom(tables, directory, std::string(), problems);
  }
  if (problems != nullptr && result != 1) {
    *problems += "; the built-in texts are used";
  } else if (problems != nullptr && fell_back) {
    *problems += "; the files without a language suffix are used";
  }
  return result;
}

std::string LanguageSuffix(const char* zep_lang) {
  if (zep_lang == nullptr || zep_lang[0] == '\0') return std::string();
  if (zep_lang[0] == '_') return zep_lang;
  return std::string("_") + zep_lang;
}

std::string LanguageSuffixFromSettings() {
  char value[kConfigValueSize];
  if (GetConfigText(value, "ZEP_LANG") <= 0) return std::string();
  return LanguageSuffix(value);
}

int LookupMessage(const MessageTables& tables, char* out, size_t out_size,
                  int kind, int identifier, int selector) {
  if (identifier < 0) return -1;
  if (kind == kKindState && identifier >= kStateEventCapacity) return -1;
  if (kind == kKindInfo) {
    return LookupInfo(tables.info_strings, out, out_size, identifier, selector);
  }
  TableView table = TableOf(tables, kind);
  for (int i = 0; i < table.capacity; ++i) {
    const MessageRecord& record = table.records[i];
    if (record.identifier != identifier) continue;
    if (out != nullptr && out_size > 0 && selector >= 0) {
      CopyText(out, out_size,
               selector % 2 == 0 ? record.first_text : record.second_text);
    }
    return i;
  }
  return -1;
}

int GetMessage(const MessageTables& tables, char* out, size_t out_size,
               int kind, int identifier, int selector,
               const char* default_text) {
  char text[kMessageBufferSize] = {};
  if (LookupMessage(tables, text, sizeof text, kind, identifier, selector) <
      0) {
    CopyText(text, sizeof text, default_text);
    if (text[0] == '\0' &&
        LookupMessage(tables, text, sizeof text, kKindCategory,
                      kUnknownCategory, 0) < 0) {
      CopyText(text, sizeof text, "Unknown");
    }
  }
  size_t length = std::strlen(text);
  if (length == 0) return 0;
  if (out != nullptr && out_size > 0) {
    length = CopyText(out, out_size, text);
  }
  return static_cast<int>(length);
}

}  // namespace zep
