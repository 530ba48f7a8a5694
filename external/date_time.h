// The local time of one zepe call and its rendering as the system renders
// dates and times for the user (Windows: GetDateFormatA / GetTimeFormatA with
// the user's locale; POSIX: the same picture syntax through FormatDatePicture
// and FormatTimePicture).
#pragma once

#include <string>

#include "picture_format.h"

namespace zep {

/// The current local time (GetLocalTime / localtime_r).
LocalTime ReadLocalTime();

/// Each returns false when the system cannot format the value.
bool RenderShortDate(const LocalTime& t, std::string* out);
bool RenderTime24(const LocalTime& t, std::string* out);
bool RenderDatePicture(const LocalTime& t, const std::string& picture, std::string* out);
bool RenderTimePicture(const LocalTime& t, const std::string& picture, std::string* out);

/// The process exit code for zepe's result. Windows carries the whole
/// integer; a POSIX exit status holds only 0..255, so larger results are
/// given as 255 there rather than wrapping round to small or zero values.
int ExitCodeForResult(int result);

}  // namespace zep
