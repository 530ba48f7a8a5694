#include <time.h>

#include "date_time.h"

namespace zep {

LocalTime ReadLocalTime() {
  time_t now = time(nullptr);
  struct tm parts {};
  LocalTime t;
  if (localtime_r(&now, &parts) == nullptr) return t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.day_of_week = parts.tm_wday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  return t;
}

bool RenderShortDate(const LocalTime& t, std::string* out) {
  *out = FormatDatePicture(kShortDatePicture, t);
  return true;
}

bool RenderTime24(const LocalTime& t, std::string* out) {
  *out = FormatTimePicture(kTime24Picture, t);
  return true;
}

bool RenderDatePicture(const LocalTime& t, const std::string& picture, std::string* out) {
  *out = FormatDatePicture(picture, t);
  return true;
}

bool RenderTimePicture(const LocalTime& t, const std::string& picture, std::string* out) {
  *out = FormatTimePicture(picture, t);
  return true;
}

int ExitCodeForResult(int result) {
  if (result < 0) return 255;
  return result > 255 ? 255 : result;
}

}  // namespace zep
