#include "converter.h"

#include <climits>
#include <cstring>

namespace zep {
namespace {

bool StartsLikeOption(const char* text) {
  return text != nullptr && (text[0] == '-' || text[0] == '/');
}

// A result with a blank is quoted. The quoted form must still fit the
// result buffer, so an over-long text is cut first to leave room for the
// two quotes.
std::string QuoteIfBlank(std::string result) {
  if (result.find(' ') == std::string::npos) return result;
  if (result.size() > kResultCapacity - 2) result.resize(kResultCapacity - 2);
  return "\"" + result + "\"";
}

std::string CutToCapacity(std::string text) {
  if (text.size() > kResultCapacity) text.resize(kResultCapacity);
  return text;
}

}  // namespace

int ReadOptionNumber(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ') ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  long long value = 0;
  while (*text >= '0' && *text <= '9') {
    // Saturate instead of overflowing on absurd inputs.
    if (value < static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*text - '0');
    ++text;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int ConvertOptions(int argc, const char* const* argv, ConverterIo& io, std::string* out) {
  int count = 0;
  int event_column = 0;
  bool first = true;
  int i = 1;
  while (i < argc) {
    const char* option = argv[i];
    if (!StartsLikeOption(option) || i + 1 >= argc) {
      ++i;
      continue;
    }
    const char* value = argv[i + 1];
    int v = ReadOptionNumber(value);
    // "-l -c 3": "-c" is the next option, not the value of "-l"; a negative
    // number such as "-5" is a value even though it begins with a minus.
    if (v >= 0 && StartsLikeOption(value)) {
      ++i;
      continue;
    }

    int table = -1;
    int number = v;
    int column = 0;
    std::string result = value;
    std::string formatted;
    switch (option[1]) {
      case 'l': table = kLevelTable; break;
      case 'o':
        table = kLevelTable;
        number = v == 0 ? 11 : 10;
        event_column = v == 0 ? 1 : 0;
        break;
      case 's': table = kStatusTable; break;
      case 'c': table = kCategoryTable; break;
      case 'i':
        table = kEventTable;
        column = event_column;
        break;
      case 'm': table = kMeterTable; break;
      case 'u': table = kUpsInfoTable; break;
      case 'd':
        if (io.ShortDate(&formatted)) result = formatted;
        break;
      case 't':
        if (io.Time24(&formatted)) result = formatted;
        break;
      case 'D':
        if (io.DatePicture(value, &formatted)) result = formatted;
        break;
      case 'T':
        if (io.TimePicture(value, &formatted)) result = formatted;
        break;
      case 'b':
        if (v >= 37 && v <= 32767) {
          io.Beep(v, 100);
        } else {
          io.Pause(100);
        }
        break;
      default: break;
    }
    ++count;

    if (table >= 0) {
      std::string text;
      if (io.LookUp(table, number, column, &text) >= 0) result = text;
    }
    result = QuoteIfBlank(CutToCapacity(result));
    std::string printed = (first ? "" : ",") + result;
    first = false;
    out->append(printed);
    count += static_cast<int>(printed.size());
    i += 2;
  }
  return count;
}

std::string UsageLine() {
  return "zepe -l <level> -o <occ/rel> -s <state> -c <category> -i <id> "
         "to run as a convert ID to messages\n";
}

}  // namespace zep
