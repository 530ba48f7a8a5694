#include "custom_action_data.h"

#include <msiquery.h>

#include <new>

namespace zep {

std::unique_ptr<wchar_t[]> ReadCustomActionData(MSIHANDLE session) {
  static const wchar_t kProperty[] = L"CustomActionData";
  wchar_t none[1] = {L'\0'};
  DWORD length = 0;
  // With no room even for the terminator the installer answers
  // ERROR_MORE_DATA and the length without it; an empty property may also
  // come back as success with length 0.
  if (MsiGetPropertyW(session, kProperty, none, &length) != ERROR_MORE_DATA ||
      length == 0 || length > kMaxCustomActionData) {
    return nullptr;
  }
  DWORD size = length + 1;
  std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[size]);
  if (!text) return nullptr;
  if (MsiGetPropertyW(session, kProperty, text.get(), &size) != ERROR_SUCCESS ||
      text[0] == L'\0') {
    return nullptr;
  }
  return text;
}

}  // namespace zep
