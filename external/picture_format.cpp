#include "picture_format.h"

#include "text_format.h"

namespace zep {
namespace {

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",
                                   "May",     "June",     "July",      "August",
                                   "September", "October", "November", "December"};

// Length of the run of `c` starting at `i`.
size_t RunLength(const std::string& s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && s[i + n] == s[i]) ++n;
  return n;
}

// Copies a quoted literal starting at the opening quote; returns the index
// after the closing quote (or the end when it is not closed).
size_t CopyQuoted(const std::string& s, size_t i, std::string* out) {
  ++i;
  while (i < s.size()) {
    if (s[i] == '\'') {
      if (i + 1 < s.size() && s[i + 1] == '\'') {
        out->push_back('\'');
        i += 2;
        continue;
      }
      return i + 1;
    }
    out->push_back(s[i++]);
  }
  return i;
}

std::string DayPart(size_t run, const LocalTime& t) {
  int dow = (t.day_of_week % 7 + 7) % 7;
  switch (run) {
    case 1: return FormatText("%d", t.day);
    case 2: return FormatText("%02d", t.day);
    case 3: return std::string(kDayNames[dow], 3);
    default: return kDayNames[dow];
  }
}

std::string MonthPart(size_t run, const LocalTime& t) {
  int m = (t.month >= 1 && t.month <= 12) ? t.month : 1;
  switch (run) {
    case 1: return FormatText("%d", t.month);
    case 2: return FormatText("%02d", t.month);
    case 3: return std::string(kMonthNames[m - 1], 3);
    default: return kMonthNames[m - 1];
  }
}

std::string YearPart(size_t run, const LocalTime& t) {
  switch (run) {
    case 1: return FormatText("%d", t.year % 100);
    case 2: return FormatText("%02d", t.year % 100);
    default: return FormatText("%d", t.year);
  }
}

// One letter run of a date picture; letters without a meaning stand as
// they are.
std::string DateRun(char c, size_t run, const LocalTime& t) {
  switch (c) {
    case 'd': return DayPart(run, t);
    case 'M': return MonthPart(run, t);
    case 'y': return YearPart(run, t);
    case 'g': return "A.D.";
    default: return std::string(run, c);
  }
}

std::string TimeRun(char c, size_t run, const LocalTime& t) {
  const char* digits = run == 1 ? "%d" : "%02d";
  const char* marker = t.hour < 12 ? "AM" : "PM";
  switch (c) {
    case 'h': return FormatText(digits, t.hour % 12 == 0 ? 12 : t.hour % 12);
    case 'H': return FormatText(digits, t.hour);
    case 'm': return FormatText(digits, t.minute);
    case 's': return FormatText(digits, t.second);
    case 't': return run == 1 ? std::string(marker, 1) : std::string(marker);
    default: return std::string(run, c);
  }
}

// Walks a picture: quoted text is copied, each run of one letter becomes
// what `render` makes of it.
std::string RenderPicture(const std::string& picture, const LocalTime& t,
                          std::string (*render)(char, size_t,
                                                const LocalTime&)) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    if (picture[i] == '\'') {
      i = CopyQuoted(picture, i, &out);
      continue;
    }
    size_t run = RunLength(picture, i);
    out += render(picture[i], run, t);
    i += run;
  }
  return out;
}

}  // namespace

std::string FormatDatePicture(const std::string& picture, const LocalTime& t) {
  return RenderPicture(picture, t, DateRun);
}

std::string FormatTimePicture(const std::string& picture, const LocalTime& t) {
  return RenderPicture(picture, t, TimeRun);
}

}  // namespace zep
