// The notification icon of the tray window: adding and removing it, the
// state icon, the tooltip, balloons and flashing. The icon's own state
// lives in properties of the window ("NormalIcon", "ReverseIcon",
// "FlashCount", "BalloonFlag", "MsgID"), so these functions need nothing
// but the window.
#pragma once

#include <windows.h>

#include <string>

namespace zep {

/// A text for the shell: a string resource of the program, or code page
/// 932 text (message texts and the service's answers), or none.
struct ShellText {
  enum class Kind { kNone, kResource, kCp932 } kind = Kind::kNone;
  UINT resource = 0;
  std::string text;

  static ShellText Resource(UINT id);
  static ShellText Cp932(const std::string& text);
  bool Present() const;
};

/// Nonzero when the icon was added and switched to the version-3
/// behaviour.
BOOL AddTrayIcon(HWND window, UINT callback_message, int icon_id,
                 const ShellText& tip);
void RemoveTrayIcon(HWND window);
/// Nonzero when the shell took the new state icon.
BOOL SetTrayStateIcon(HWND window, int icon_id);
BOOL SetTrayTip(HWND window, const ShellText& tip);
/// Neither title nor text: hides any balloon. Otherwise shows one, unless
/// one of ours is still up: that one stays and the icon flashes 3 times.
BOOL ShowBalloon(HWND window, const ShellText& title, const ShellText& text,
                 int icon_flag, int timeout_ms);
BOOL HideBalloon(HWND window);
void StartFlashing(HWND window, int count);

}  // namespace zep
