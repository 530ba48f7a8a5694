// The message files: the texts of levels, categories, UPS states, events and
// measurements, read at start-up from five user-editable files beside the
// executable ("level%s.msg", "category%s.msg", "status%s.msg", "event%s.msg",
// "meter%s.msg"; the suffix is empty for Japanese, "_en" for English), and
// the lookups that turn a kind and an identifier into a text.
//
// One line per record: a decimal identifier, ",", a first text, ",", a
// second text. A text in double quotes runs to the closing quote; an
// unquoted text is taken as it stands (see ParseMessageFile). Texts are code
// page 932 bytes, copied literally and never used as a format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "info_strings.h"

// <windows.h> defines GetMessage as a macro for GetMessageA. A Windows
// program that uses both includes this header after <windows.h> and calls
// GetMessageA by that name.
#ifdef GetMessage
#undef GetMessage
#endif

namespace zep {

/// Size of a record's text fields: 127 characters and a terminator.
constexpr size_t kMessageTextSize = 128;

/// Message kinds, as the tables are addressed by clients.
constexpr int kKindLevel = 0;
constexpr int kKindCategory = 1;
constexpr int kKindState = 2;
constexpr int kKindEvent = 3;
constexpr int kKindMeasurement = 4;
constexpr int kKindInfo = 5;

/// Table capacities. States and events share one table: the states first,
/// the events behind them.
constexpr int kLevelCapacity = 10;
constexpr int kCategoryCapacity = 100;
constexpr int kStateEventCapacity = 256;
constexpr int kMeasurementCapacity = 100;

/// The category whose first text stands for "unknown".
constexpr int kUnknownCategory = 107;

/// Size of the working buffer GetMessage builds its text in.
constexpr size_t kMessageBufferSize = 264;

/// One line of a message file. Records not filled are all zero.
struct MessageRecord {
  int32_t identifier = 0;
  char first_text[kMessageTextSize] = {};
  char second_text[kMessageTextSize] = {};
};

/// The message tables of one program (kinds 0 to 5).
struct MessageTables {
  MessageRecord levels[kLevelCapacity];
  MessageRecord categories[kCategoryCapacity];
  /// Kinds 2 and 3: state records, then event records.
  MessageRecord states_events[kStateEventCapacity];
  MessageRecord measurements[kMeasurementCapacity];
  /// Kind 5, filled while the service runs rather than from a file.
  InfoStrings info_strings;
};

/// The program's own tables, empty until LoadMessageFiles fills them. Filled
/// once at start-up before other threads run, then only read (the
/// information items excepted).
MessageTables& ProcessMessageTables();

/// Empties every table, the information items included.
void ClearMessageTables(MessageTables* tables);

/// Reads the message file at `path` into `table` (up to `capacity` records,
/// from the first), one record per valid line, and stops at the first valid
/// line that finds the table full. Lines are read in pieces of at most 260
/// characters. A valid line begins with a decimal identifier (white space
/// and a sign allowed) and holds a ",":
/// - the first text follows the first ",". If it begins with a double quote
///   it runs to the next quote; otherwise leading blanks are skipped and it
///   runs to the next "," (blanks before that "," dropped) or, with no
///   further ",", to the end of the line, line feed included;
/// - the second text follows the "," that ends the first. Quoted the same
///   way, or unquoted: leading blanks skipped, then the rest of the line,
///   line feed included, with only the blanks before its next "," dropped.
///   No such "," leaves it empty.
/// A quote left open makes the line invalid. Each text is cut to 127
/// characters. Returns the number of records stored, or -1 when `path` is
/// missing or the file cannot be opened. The rest of a line longer than 260
/// characters is skipped. `problem` (if given) gets what was wrong: that the
/// file cannot be opened and why, or the first over-long line.
int ParseMessageFile(MessageRecord* table, int capacity, const char* path,
                     std::string* problem = nullptr);

/// Loads the five message files from `directory` (ending in its separator)
/// with the language `suffix`: levels, categories, states, then the events
/// behind the states in the shared table, then measurements. Returns 1 when
/// all five were read, -1 when one could not be opened; every table, the
/// information items included, is then empty. What is wrong with a file
/// becomes a trace line and, when `problems` is given, is added to it
/// ("level_en.msg cannot be opened (No such file or directory)"; several
/// are joined by "; ").
int LoadMessageFilesFrom(MessageTables* tables, const std::string& directory,
                         const std::string& suffix,
                         std::string* problems = nullptr);

/// LoadMessageFilesFrom on the executable's directory.
int LoadMessageFiles(MessageTables* tables, const std::string& suffix);

/// Loads with `suffix`, and when that fails with the empty suffix (the
/// Japanese files, which every installation has). Returns the result of the
/// last load tried. `problems` as for LoadMessageFilesFrom, ending with what
/// is used instead when anything was wrong.
int LoadMessageFilesWithFallback(MessageTables* tables,
                                 const std::string& directory,
                                 const std::string& suffix,
                                 std::string* problems = nullptr);

/// The message-file suffix for a ZEP_LANG value: "" for none or an empty
/// value, the value itself when it begins with "_", else "_" + value.
std::string LanguageSuffix(const char* zep_lang);

/// LanguageSuffix of the ZEP_LANG setting (GetConfigText).
std::string LanguageSuffixFromSettings();

/// Finds the first record of `kind` with `identifier`, searching the whole
/// table (unfilled records have identifier 0, so 0 is found in any table
/// that is not full). Kinds 2 and 3 search the same shared table; kind 2
/// refuses identifiers of 256 and more. When `out` is given and `selector`
/// is 0 or more, copies the first text (selector even) or the second text
/// (selector odd), at most out_size-1 characters, terminated. Returns the
/// record's index, or -1 for a negative identifier, a kind outside 0 to 5
/// or no such record.
int LookupMessage(const MessageTables& tables, char* out, size_t out_size,
                  int kind, int identifier, int selector);

/// The text for a kind and identifier. When there is no such record, the
/// `default_text` (null for none) is used, and when that is empty too, the
/// first text of category 107, or "Unknown" without it. A record found with
/// an empty text gives the empty text. A non-empty text is copied to `out`
/// (at most out_size-1 characters, terminated); an empty one leaves `out`
/// untouched. Returns the length of the text copied (of the text produced
/// when `out` is null).
int GetMessage(const MessageTables& tables, char* out, size_t out_size,
               int kind, int identifier, int selector,
               const char* default_text);

}  // namespace zep
