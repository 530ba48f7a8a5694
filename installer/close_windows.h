// AppClose's work: every window of one class name and title is asked to
// close, and the programs that owned them are given time to end, so that
// the installer finds their files free when it goes on to remove them.
#pragma once

namespace zep {

/// How long WM_CLOSE is posted to windows that are still there, and how
/// long after that the owners' processes are waited for. A window or a
/// program that never ends cannot hold up the installation longer.
constexpr unsigned kCloseSearchMs = 5000;
constexpr unsigned kProcessEndMs = 5000;

/// Posts WM_CLOSE to each window that FindWindowW finds with `name` as
/// both class name and title, searching again until none is left, then
/// waits up to kProcessEndMs for the processes that owned them to end.
/// Gives up after kCloseSearchMs when a window is still there, and returns
/// at once when none matches.
void CloseWindowsNamed(const wchar_t* name);

}  // namespace zep
