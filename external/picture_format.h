// Date and time rendered from the picture strings batch files already use
// with the Windows date and time functions ("yyyy/MM/dd", "HH:mm:ss",
// "dddd, MMMM d", "h:mm tt"). On POSIX this is the only formatter; on
// Windows the system's own functions are used and this one is not needed.
#pragma once

#include <string>

namespace zep {

/// A broken-down local time, as GetLocalTime gives it.
struct LocalTime {
  int year = 1970;
  int month = 1;         // 1..12
  int day = 1;           // 1..31
  int day_of_week = 4;   // 0 = Sunday
  int hour = 0;          // 0..23
  int minute = 0;
  int second = 0;
};

/// Renders the date pictures d, dd, ddd, dddd, M, MM, MMM, MMMM, y, yy, yyyy
/// (and longer runs of y as yyyy), and g/gg (era, "A.D."); text in single
/// quotes is copied without them ('' is one quote); every other character is
/// copied as it stands.
std::string FormatDatePicture(const std::string& picture, const LocalTime& t);

/// Renders the time pictures h, hh, H, HH, m, mm, s, ss, t (A/P) and tt
/// (AM/PM), with the same quoting rules.
std::string FormatTimePicture(const std::string& picture, const LocalTime& t);

/// The pictures used for the short date and the 24-hour time with seconds
/// where the system has no locale formats of its own.
constexpr const char kShortDatePicture[] = "yyyy/MM/dd";
constexpr const char kTime24Picture[] = "HH:mm:ss";

}  // namespace zep
