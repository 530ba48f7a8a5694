#include <windows.h>

#include "date_time.h"

namespace zep {
namespace {

SYSTEMTIME ToSystemTime(const LocalTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wDayOfWeek = static_cast<WORD>(t.day_of_week);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  return st;
}

// The result buffer of one option holds 261 characters.
constexpr int kResultSize = 261;

bool Date(const LocalTime& t, DWORD flags, const char* picture, std::string* out) {
  SYSTEMTIME st = ToSystemTime(t);
  char buffer[kResultSize];
  int n = GetDateFormatA(LOCALE_USER_DEFAULT, flags, &st, picture, buffer, kResultSize);
  if (n <= 0) return false;
  *out = buffer;
  return true;
}

bool Time(const LocalTime& t, DWORD flags, const char* picture, std::string* out) {
  SYSTEMTIME st = ToSystemTime(t);
  char buffer[kResultSize];
  int n = GetTimeFormatA(LOCALE_USER_DEFAULT, flags, &st, picture, buffer, kResultSize);
  if (n <= 0) return false;
  *out = buffer;
  return true;
}

}  // namespace

LocalTime ReadLocalTime() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.day_of_week = st.wDayOfWeek;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  return t;
}

bool RenderShortDate(const LocalTime& t, std::string* out) {
  return Date(t, DATE_SHORTDATE, nullptr, out);
}

bool RenderTime24(const LocalTime& t, std::string* out) {
  return Time(t, TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT, nullptr, out);
}

bool RenderDatePicture(const LocalTime& t, const std::string& picture, std::string* out) {
  return Date(t, 0, picture.c_str(), out);
}

bool RenderTimePicture(const LocalTime& t, const std::string& picture, std::string* out) {
  return Time(t, 0, picture.c_str(), out);
}

int ExitCodeForResult(int result) { return result; }

}  // namespace zep
