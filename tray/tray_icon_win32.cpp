#include "tray_icon_win32.h"

#include <shellapi.h>

#include <cstdint>

#include "balloon_rules.h"
#include "shell_text.h"
#include "trace.h"
#include "tray_ids.h"

namespace zep {
namespace {

constexpr char kNormalIcon[] = "NormalIcon";
constexpr char kReverseIcon[] = "ReverseIcon";
constexpr char kFlashCount[] = "FlashCount";
constexpr char kBalloonFlag[] = "BalloonFlag";
constexpr char kMsgId[] = "MsgID";

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// The version-3 layout, which has the balloon fields; identifier 0.
NOTIFYICONDATAW IconData(HWND window, UINT flags) {
  NOTIFYICONDATAW data;
  ZeroMemory(&data, sizeof data);
  data.cbSize = NOTIFYICONDATAW_V3_SIZE;
  data.hWnd = window;
  data.uID = 0;
  data.uFlags = flags;
  return data;
}

// Fills a wide field of `limit` characters (terminator included), cutting
// longer texts on a character boundary.
void CopyShellText(const ShellText& text, wchar_t* field, size_t limit) {
  field[0] = L'\0';
  switch (text.kind) {
    case ShellText::Kind::kNone:
      return;
    case ShellText::Kind::kResource:
      LoadStringW(Instance(), text.resource, field, static_cast<int>(limit));
      return;
    case ShellText::Kind::kCp932: {
      const std::string cut = CutCp932(text.text, limit - 1);
      int n = MultiByteToWideChar(932, 0, cut.data(),
                                  static_cast<int>(cut.size()), field,
                                  static_cast<int>(limit - 1));
      field[n > 0 ? n : 0] = L'\0';
      return;
    }
  }
}

// A wide text as UTF-8, for trace lines that tests read.
std::string Utf8(const wchar_t* text) {
  char out[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr,
                              nullptr);
  return n > 0 ? std::string(out) : std::string();
}

HANDLE Property(HWND window, const char* name) {
  return GetPropA(window, name);
}
intptr_t NumberProperty(HWND window, const char* name) {
  return reinterpret_cast<intptr_t>(GetPropA(window, name));
}
void SetNumberProperty(HWND window, const char* name, intptr_t value) {
  SetPropA(window, name, reinterpret_cast<HANDLE>(value));
}

// Puts `icon` in the property and destroys the icon it replaces.
void ReplaceIconProperty(HWND window, const char* name, HICON icon) {
  HICON old = static_cast<HICON>(Property(window, name));
  SetPropA(window, name, icon);
  if (old != nullptr && old != icon) DestroyIcon(old);
}

HICON LoadStateIcon(int icon_id, UINT colour) {
  return static_cast<HICON>(LoadImageA(Instance(), MAKEINTRESOURCEA(icon_id),
                                       IMAGE_ICON, 0, 0, colour));
}

BOOL ShowIcon(HWND window, HICON icon) {
  NOTIFYICONDATAW data = IconData(window, NIF_ICON | NIF_STATE);
  data.hIcon = icon;
  return Shell_NotifyIconW(NIM_MODIFY, &data);
}

void CALLBACK FlashTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  int phases = static_cast<int>(NumberProperty(window, kFlashCount));
  FlashFrame frame = FlashTick(&phases);
  HICON normal = static_cast<HICON>(Property(window, kNormalIcon));
  switch (frame) {
    case FlashFrame::kDone:
      ShowIcon(window, normal);
      KillTimer(window, ZEPG_TIMER_FLASH);
      break;
    case FlashFrame::kReverse:
      ShowIcon(window, static_cast<HICON>(Property(window, kReverseIcon)));
      break;
    case FlashFrame::kNormal:
      ShowIcon(window, normal);
      break;
  }
  SetNumberProperty(window, kFlashCount, phases);
}

// The balloon's own lifetime ended: report it as the shell would, so that
// the callback handler puts the tooltip back.
void CALLBACK BalloonTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  KillTimer(window, ZEPG_TIMER_BALLOON);
  UINT message = static_cast<UINT>(NumberProperty(window, kMsgId));
  if (message != 0) {
    PostMessageA(window, message, 1, NIN_BALLOONTIMEOUT);
  }
  SetNumberProperty(window, kBalloonFlag, 0);
}

}  // namespace

ShellText ShellText::Resource(UINT id) {
  ShellText t;
  t.kind = Kind::kResource;
  t.resource = id;
  return t;
}

ShellText ShellText::Cp932(const std::string& text) {
  ShellText t;
  t.kind = Kind::kCp932;
  t.text = text;
  return t;
}

bool ShellText::Present() const {
  return kind == Kind::kResource || (kind == Kind::kCp932 && !text.empty());
}

BOOL AddTrayIcon(HWND window, UINT callback_message, int icon_id,
                 const ShellText& tip) {
  NOTIFYICONDATAW data =
      IconData(window, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_STATE);
  data.uCallbackMessage = callback_message;
  data.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(icon_id));
  CopyShellText(tip, data.szTip, kTipLimit);
  BOOL added = Shell_NotifyIconW(NIM_ADD, &data);
  TraceFormat("NIM_ADD -> %d\r\n", added);
  if (added != TRUE) return added;

  SetPropA(window, kNormalIcon, data.hIcon);
  SetPropA(window, kReverseIcon, LoadStateIcon(icon_id, LR_MONOCHROME));
  data.uVersion = NOTIFYICON_VERSION;
  BOOL versioned = Shell_NotifyIconW(NIM_SETVERSION, &data);
  if (versioned) {
    SetNumberProperty(window, kBalloonFlag, 0);
    SetNumberProperty(window, kMsgId, callback_message);
  }
  return versioned;
}

void RemoveTrayIcon(HWND window) {
  RemovePropA(window, kNormalIcon);
  RemovePropA(window, kReverseIcon);
  NOTIFYICONDATAW data = IconData(window, 0);
  Shell_NotifyIconW(NIM_DELETE, &data);
}

BOOL SetTrayStateIcon(HWND window, int icon_id) {
  HICON icon = LoadStateIcon(icon_id, LR_DEFAULTCOLOR);
  if (icon == nullptr) return 0;
  if (!ShowIcon(window, icon)) {
    DestroyIcon(icon);
    return 0;
  }
  TraceFormat("Icon:%d\r\n", icon_id);
  ReplaceIconProperty(window, kNormalIcon, icon);
  ReplaceIconProperty(window, kReverseIcon,
                      LoadStateIcon(icon_id, LR_MONOCHROME));
  // A flash that runs stops at its next tick, on the new icon.
  SetNumberProperty(window, kFlashCount, -1);
  return 1;
}

BOOL SetTrayTip(HWND window, const ShellText& tip) {
  NOTIFYICONDATAW data = IconData(window, NIF_TIP);
  CopyShellText(tip, data.szTip, kTipLimit);
  TraceFormat("Tip:%s\r\n", Utf8(data.szTip).c_str());
  return Shell_NotifyIconW(NIM_MODIFY, &data);
}

BOOL ShowBalloon(HWND window, const ShellText& title, const ShellText& text,
                 int icon_flag, int timeout_ms) {
  const int timeout = ClampBalloonTimeout(timeout_ms);
  NOTIFYICONDATAW data = IconData(window, NIF_INFO | NIF_STATE);
  data.uTimeout = static_cast<UINT>(timeout);
  data.dwInfoFlags = static_cast<DWORD>(icon_flag);
  const bool up = NumberProperty(window, kBalloonFlag) != 0;

  switch (DecideBalloon(title.Present() || text.Present(), up)) {
    case BalloonAction::kHide:
      if (up) KillTimer(window, ZEPG_TIMER_BALLOON);
      SetNumberProperty(window, kBalloonFlag, 0);
      return Shell_NotifyIconW(NIM_MODIFY, &data);
    case BalloonAction::kRefuseAndFlash:
      Trace("Balloon refused: one is up\r\n");
      StartFlashing(window, kNoticeFlashes);
      return 1;
    case BalloonAction::kShow:
      break;
  }
  CopyShellText(title, data.szInfoTitle, kBalloonTitleLimit);
  CopyShellText(text, data.szInfo, kBalloonTextLimit);
  BOOL shown = Shell_NotifyIconW(NIM_MODIFY, &data);
  TraceFormat("Balloon:%d:%s:%s\r\n", icon_flag,
              Utf8(data.szInfoTitle).c_str(), Utf8(data.szInfo).c_str());
  SetNumberProperty(window, kBalloonFlag, 1);
  SetTimer(window, ZEPG_TIMER_BALLOON, static_cast<UINT>(timeout),
           BalloonTimerProc);
  return shown;
}

BOOL HideBalloon(HWND window) {
  return ShowBalloon(window, ShellText(), ShellText(), 0, 0);
}

void StartFlashing(HWND window, int count) {
  SetNumberProperty(window, kFlashCount, FlashPhases(count));
  SetTimer(window, ZEPG_TIMER_FLASH, FlashPeriod(GetCaretBlinkTime()),
           FlashTimerProc);
}

}  // namespace zep
