#include "tray_menu_win32.h"

#include "config.h"
#include "event_display.h"
#include "info_balloons.h"
#include "launcher.h"
#include "message_files.h"
#include "tray_icon_win32.h"

namespace zep {

void ShowTrayMenu(HWND window, int x, int y) {
  HMENU menu = GetMenu(window);
  HMENU popup = menu != nullptr ? GetSubMenu(menu, 0) : nullptr;
  if (popup == nullptr) return;
  // Without the foreground the menu would not close when the user clicks
  // elsewhere.
  SetForegroundWindow(window);
  UINT flags = TPM_RIGHTBUTTON;
  if (GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0) flags |= TPM_RIGHTALIGN;
  TrackPopupMenuEx(popup, flags, x, y, window, nullptr);
  // Lets the menu's loop end cleanly before the next click on the icon.
  PostMessageA(window, WM_NULL, 0, 0);
}

void ClearBalloon(HWND window, TrayState* state) {
  HideBalloon(window);
  state->last_message.clear();
}

void ShowInformationBalloon(HWND window, int command,
                            ServiceQueries& service) {
  // Hidden first, so that the new balloon is never refused.
  HideBalloon(window);
  char version[kConfigValueSize];
  std::string version_text;
  if (GetConfigText(version, "ZEP_VERSION") >= 0) version_text = version;
  InfoBalloon balloon;
  if (!BuildInfoBalloon(command, ProcessMessageTables(), service,
                        version_text, &balloon)) {
    return;
  }
  ShowBalloon(window, ShellText::Cp932(balloon.title),
              ShellText::Cp932(balloon.text), kBalloonInfo, 0);
}

void RunDoubleClickAction() { LaunchScript("dblclk.bat", {}); }

}  // namespace zep
