// The option converter of zepe: turns "-l 3 -c 31 -d x" into the texts of the
// service's message tables, dates, times and beeps, printed on one line,
// comma-separated. The outside world (the service, the clock, the speaker)
// is reached through ConverterIo so the rules can be tested alone.
#pragma once

#include <string>

namespace zep {

/// Message tables the service answers for.
enum MessageTable {
  kLevelTable = 0,
  kCategoryTable = 1,
  kStatusTable = 2,
  kEventTable = 3,
  kMeterTable = 4,
  kUpsInfoTable = 5,
};

/// The result buffer of one option: 261 characters with the terminator.
constexpr size_t kResultCapacity = 260;

class ConverterIo {
 public:
  virtual ~ConverterIo() = default;
  /// The text of (table, identifier, column) from the service; its length,
  /// or -1 when the service did not answer or has no such text.
  virtual int LookUp(int table, int identifier, int column, std::string* text) = 0;
  virtual bool ShortDate(std::string* out) = 0;
  virtual bool Time24(std::string* out) = 0;
  virtual bool DatePicture(const std::string& picture, std::string* out) = 0;
  virtual bool TimePicture(const std::string& picture, std::string* out) = 0;
  virtual void Beep(int frequency, int duration_ms) = 0;
  virtual void Pause(int duration_ms) = 0;
};

/// Reads a number as the module does: optional leading spaces and a sign,
/// then the leading digits; a text without digits gives 0.
int ReadOptionNumber(const char* text);

/// Handles the options of argv[1..argc-1] in order, appending each result
/// (with "," before all but the first) to `out`. Returns the count: one per
/// handled option plus the number of characters printed.
int ConvertOptions(int argc, const char* const* argv, ConverterIo& io, std::string* out);

/// The usage line, with a line end.
std::string UsageLine();

}  // namespace zep
