// Start-up, the hidden tray window, its message dispatch and the polling
// tick. Everything runs on the window's thread.
#include "tray_program.h"

#include <windows.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <cstdint>
#include <string>

#include "balloon_rules.h"
#include "config.h"
#include "event_display.h"
#include "language_choice.h"
#include "message_files.h"
#include "polling.h"
#include "process.h"
#include "trace.h"
#include "tray_icon_win32.h"
#include "tray_ids.h"
#include "tray_menu_win32.h"
#include "tray_state.h"
#include "udp.h"

namespace zep {
namespace {

constexpr char kClassName[] = "zepg";
constexpr int kTitleSize = 260;
constexpr int kTrimmedMenuEntries = 8;
constexpr UINT kInformationItems[] = {ZEPG_CMD_SYSTEM, ZEPG_CMD_RATED,
                                      ZEPG_CMD_BATTERY};

// The program-wide record, touched only by the window's thread.
struct TrayProgram {
  HWND window = nullptr;
  TrayState state;
  UdpEndpoint service_endpoint;
  UINT taskbar_created_message = 0;
  // Failed tries to add the icon while the retry timer runs; 0 otherwise.
  int icon_tries = 0;
};

TrayProgram& Program() {
  static TrayProgram program;
  return program;
}

ShellText InitialTip() { return ShellText::Resource(ZEPG_STR_TIP); }

bool IconAdded(HWND window) {
  return AddTrayIcon(window, ZEPG_TRAY_CALLBACK, ZEPG_ICON_NO_COMMUNICATION,
                     InitialTip()) != 0;
}

// A try while the icon is not there yet. An icon that was added but not
// switched to its version counts as not added; it goes, so that the next
// try can add it afresh.
bool IconAddedAfresh(HWND window) {
  if (IconAdded(window)) return true;
  RemoveTrayIcon(window);
  return false;
}

void ShowAddIconError(HWND window) {
  MessageBoxA(window, "Please read the ReadMe.txt file for troubleshooting",
              "Error adding icon", MB_OK);
}

// "date time" of a notification's time value (0: now), in the user's
// formats.
std::string DateTimeText(uint32_t seconds) {
  SYSTEMTIME when;
  if (seconds == 0) {
    GetLocalTime(&when);
  } else {
    ULARGE_INTEGER ticks;
    ticks.QuadPart = (uint64_t{seconds} + 11644473600ULL) * 10000000ULL;
    FILETIME utc = {ticks.LowPart, ticks.HighPart};
    FILETIME local;
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &when);
  }
  char date[128] = {};
  char time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date,
                 sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT,
                 TIME_NOSECONDS | TIME_NOTIMEMARKER | TIME_FORCE24HOURFORMAT,
                 &when, nullptr, time, sizeof time);
  return std::string(date) + " " + time;
}

bool Popups() { return PopupsWanted(GetConfigInt("ZEP_POPUP")); }

// With balloons off, news goes to the tooltip and the icon flashes.
void ShowQuietly(HWND window, const ShellText& text) {
  HideBalloon(window);
  SetTrayTip(window, text);
  StartFlashing(window, kNoticeFlashes);
}

void AnnounceModel(HWND window, const std::string& model) {
  if (Popups()) {
    ShowBalloon(window, ShellText::Resource(ZEPG_STR_MODEL_TITLE),
                ShellText::Cp932(model), kBalloonInfo, 0);
  } else {
    ShowQuietly(window, ShellText::Cp932(model));
  }
}

// --- WM_COMMAND handlers ------------------------------------------------

void OnEventNotification(TrayProgram& p, WPARAM wparam, LPARAM lparam) {
  const uint32_t word = static_cast<uint32_t>(wparam);
  const uint32_t time = static_cast<uint32_t>(lparam);
  if (!TakeEventNotification(&p.state, word, time)) return;
  EventDisplay display =
      BuildEventDisplay(ProcessMessageTables(), word, DateTimeText(time));
  SetTrayStateIcon(p.window, display.icon);
  const ShellText text = ShellText::Cp932(display.text);
  if (Popups()) {
    ShowBalloon(p.window, ShellText::Cp932(display.title), text,
                display.balloon_flag, 0);
  } else {
    ShowQuietly(p.window, text);
  }
  SetLastMessage(&p.state, display.text);
}

void OnClearBalloon(TrayProgram& p, WPARAM, LPARAM) {
  ClearBalloon(p.window, &p.state);
}

void OnClose(TrayProgram& p, WPARAM, LPARAM) { DestroyWindow(p.window); }

void OnOptions(TrayProgram& p, WPARAM, LPARAM) {
  MessageBoxA(p.window, "Display the options dialog here.", "Options", MB_OK);
}

void OnTogglePolling(TrayProgram& p, WPARAM, LPARAM) {
  if (p.state.polling_on) {
    KillTimer(p.window, ZEPG_TIMER_POLL);
    p.state.polling_on = false;
  } else {
    SetTimer(p.window, ZEPG_TIMER_POLL,
             static_cast<UINT>(PollingPeriod(GetConfigInt("ZEP_GUI_CYCLE"))),
             nullptr);
    p.state.polling_on = true;
  }
  // The check mark, while the item is still in the menu.
  HMENU menu = GetMenu(p.window);
  MENUITEMINFOA item;
  ZeroMemory(&item, sizeof item);
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE;
  if (menu != nullptr &&
      GetMenuItemInfoA(menu, ZEPG_CMD_TIMER, FALSE, &item)) {
    item.fState = p.state.polling_on ? MFS_CHECKED : MFS_UNCHECKED;
    SetMenuItemInfoA(menu, ZEPG_CMD_TIMER, FALSE, &item);
  }
}

void OnInformation(TrayProgram& p, WPARAM wparam, LPARAM) {
  EndpointQueries service(&p.service_endpoint);
  ShowInformationBalloon(p.window, LOWORD(wparam), service);
}

struct CommandRow {
  WORD low_word;
  void (*handler)(TrayProgram&, WPARAM, LPARAM);
};

// Levels and categories of the event notification share the command
// numbers with the menu, so this table decodes both.
constexpr CommandRow kCommands[] = {
    {0, OnEventNotification},
    {1, OnEventNotification},
    {2, OnEventNotification},
    {3, OnEventNotification},
    {0xFFFF, OnEventNotification},
    {ZEPG_CMD_CLEAR_BALLOON, OnClearBalloon},
    {ZEPG_CMD_CLOSE, OnClose},
    {ZEPG_CMD_OPTIONS, OnOptions},
    {ZEPG_CMD_TIMER, OnTogglePolling},
    {ZEPG_CMD_VERSION, OnInformation},
    {ZEPG_CMD_SYSTEM, OnInformation},
    {ZEPG_CMD_BATTERY, OnInformation},
    {ZEPG_CMD_RATED, OnInformation},
};

void OnCommand(TrayProgram& p, WPARAM wparam, LPARAM lparam) {
  for (const CommandRow& row : kCommands) {
    if (row.low_word == LOWORD(wparam)) {
      row.handler(p, wparam, lparam);
      return;
    }
  }
}

// --- other messages -----------------------------------------------------

LRESULT OnCreate(TrayProgram& p, HWND window) {
  p.window = window;
  if (!IconAddedAfresh(window)) {
    // At logon the shell's notification area may not be there yet: keep
    // trying, and when the shell announces its taskbar, before giving up.
    p.icon_tries = 1;
    SetTimer(window, ZEPG_TIMER_ICON_RETRY, kIconRetryPeriodMs, nullptr);
  }
  p.taskbar_created_message = RegisterWindowMessageA("TaskbarCreated");
  WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
  PostMessageA(window, WM_COMMAND, ZEPG_CMD_TIMER, 0);
  StartFlashing(window, kStartFlashes);
  if (OpenEndpoint(&p.service_endpoint, 0) > 0) {
    SetPeerPort(&p.service_endpoint, kExternalPort);
  } else {
    CloseEndpoint(&p.service_endpoint);
  }
  return 0;
}

void StopIconRetry(TrayProgram& p) {
  if (p.icon_tries == 0) return;
  KillTimer(p.window, ZEPG_TIMER_ICON_RETRY);
  p.icon_tries = 0;
}

void OnIconRetry(TrayProgram& p) {
  if (IconAddedAfresh(p.window)) {
    StopIconRetry(p);
    StartFlashing(p.window, kStartFlashes);
    return;
  }
  ++p.icon_tries;
  if (TryIconAgain(p.icon_tries)) return;
  StopIconRetry(p);
  ShowAddIconError(p.window);
  DestroyWindow(p.window);
}

void OnPollingTick(TrayProgram& p) {
  EndpointQueries service(&p.service_endpoint);
  TickOutcome outcome = PollingTick(&p.state, service);
  if (outcome.model_learnt) {
    AnnounceModel(p.window, outcome.model);
    HMENU menu = GetMenu(p.window);
    for (UINT item : kInformationItems) {
      EnableMenuItem(menu, item, MF_BYCOMMAND | MF_ENABLED);
    }
    TrimWorkingSet();
  }
  if (outcome.post) {
    PostMessageA(p.window, WM_COMMAND, outcome.wparam, outcome.lparam);
    Trace(MessageTraceLine(ZEPG_WM_COMMAND, outcome.wparam, outcome.lparam));
  }
}

void OnTrayCallback(TrayProgram& p, WPARAM wparam, LPARAM lparam) {
  const UINT event = LOWORD(lparam);
  if (event >= WM_MOUSEFIRST && event <= 0x20D) {
    if (event == WM_LBUTTONDBLCLK) RunDoubleClickAction();
    return;
  }
  Trace(MessageTraceLine(ZEPG_TRAY_CALLBACK, static_cast<uint32_t>(wparam),
                         static_cast<uint32_t>(lparam)));
  switch (event) {
    case WM_CONTEXTMENU: {
      POINT at = {0, 0};
      GetCursorPos(&at);
      ShowTrayMenu(p.window, at.x, at.y);
      break;
    }
    case NIN_BALLOONTIMEOUT:
    case NIN_BALLOONUSERCLICK:
      HideBalloon(p.window);
      SetTrayTip(p.window, p.state.last_message.empty()
                               ? InitialTip()
                               : ShellText::Cp932(p.state.last_message));
      break;
    default:
      break;
  }
}

void OnTaskbarCreated(TrayProgram& p) {
  ForgetService(&p.state);
  if (IconAdded(p.window)) StopIconRetry(p);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  TrayProgram& p = Program();
  switch (message) {
    case WM_CREATE:
      return OnCreate(p, window);
    case WM_DESTROY:
      StopIconRetry(p);
      CloseEndpoint(&p.service_endpoint);
      RemoveTrayIcon(window);
      WTSUnRegisterSessionNotification(window);
      PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      OnCommand(p, wparam, lparam);
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_SCREENSAVE) return 1;
      break;
    case WM_TIMER:
      if (wparam == ZEPG_TIMER_POLL) OnPollingTick(p);
      if (wparam == ZEPG_TIMER_ICON_RETRY) OnIconRetry(p);
      return 0;
    case ZEPG_TRAY_CALLBACK:
      OnTrayCallback(p, wparam, lparam);
      return 0;
    default:
      if (message != 0 && message == p.taskbar_created_message) {
        OnTaskbarCreated(p);
      }
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

// Selects the English or Japanese menu and strings for this thread.
void SetThreadLanguage(int language_id) {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  using SetUiLanguage = LANGID(WINAPI*)(LANGID);
  SetUiLanguage set_ui_language = nullptr;
  if (GetVersionExA(&version) && version.dwMajorVersion > 5) {
    set_ui_language = reinterpret_cast<SetUiLanguage>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadUILanguage")));
  }
  if (set_ui_language != nullptr) {
    set_ui_language(static_cast<LANGID>(language_id));
  } else {
    SetThreadLocale(MAKELCID(language_id, SORT_DEFAULT));
  }
}

}  // namespace

int RunTrayProgram() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  char title[kTitleSize] = {};
  LoadStringA(instance, ZEPG_STR_TITLE, title, sizeof title);
  // One instance per session.
  if (FindWindowA(kClassName, title) != nullptr) return 0;

  ChangeToExecutableDirectory();
  LoadTrayConfiguration();
  char lang[kConfigValueSize];
  const bool lang_set = GetConfigText(lang, "ZEP_LANG") >= 0;
  const TrayLanguage language = ChooseTrayLanguage(lang_set ? lang : nullptr);
  SetThreadLanguage(language.language_id);

  WNDCLASSEXA window_class;
  ZeroMemory(&window_class, sizeof window_class);
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(ZEPG_ICON_APP));
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszMenuName = MAKEINTRESOURCEA(ZEPG_MENU);
  window_class.lpszClassName = kClassName;
  RegisterClassExA(&window_class);

  const int height = 2 * GetSystemMetrics(SM_CXEDGE) +
                     GetSystemMetrics(SM_CYMENU) +
                     GetSystemMetrics(SM_CYCAPTION);
  HWND window = CreateWindowExA(0, kClassName, title, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, 0, height,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;

  LoadMessageFilesWithFallback(&ProcessMessageTables(), ExecutableDirectory(),
                               language.suffix);

  // The menu's first entries serve a visible window; the icon's menu keeps
  // the information items, the version and Close.
  if (!IsWindowVisible(window)) {
    HMENU popup = GetSubMenu(GetMenu(window), 0);
    for (int i = 0; popup != nullptr && i < kTrimmedMenuEntries; ++i) {
      DeleteMenu(popup, 0, MF_BYPOSITION);
    }
  }

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

}  // namespace zep
