// The one input of the custom actions: the session's "CustomActionData"
// property, which the installation package fills with what the action works
// on (a program to open, a window name to close).
#pragma once

// windows.h first: the installer and shell headers need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
// clang-format on

#include <memory>

namespace zep {

/// The longest property text the actions accept, in characters: the
/// longest command line Windows takes. Anything longer is no program path
/// or window name; it is refused rather than allocated.
constexpr DWORD kMaxCustomActionData = 32767;

/// Reads "CustomActionData" whole: a first call with no room learns its
/// length, a second reads it into a buffer of that length and the
/// terminator. Returns null when there is nothing to act on: the property
/// is empty, missing or unreadable, or longer than kMaxCustomActionData.
std::unique_ptr<wchar_t[]> ReadCustomActionData(MSIHANDLE session);

}  // namespace zep
