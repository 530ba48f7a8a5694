// The menu of the tray icon, the information balloons it offers and the
// double-click action.
#pragma once

#include <windows.h>

#include "service_queries.h"
#include "tray_state.h"

namespace zep {

/// Opens the first submenu of the window's menu at screen position x, y.
void ShowTrayMenu(HWND window, int x, int y);

/// Command 310: hides any balloon and forgets the last message.
void ClearBalloon(HWND window, TrayState* state);

/// Commands 314 to 317: the version, system, battery and rated balloons.
void ShowInformationBalloon(HWND window, int command,
                            ServiceQueries& service);

/// Runs "dblclk.bat" from the program's directory and does not wait.
void RunDoubleClickAction();

}  // namespace zep
