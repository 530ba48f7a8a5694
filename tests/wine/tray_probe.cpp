// tray_probe.exe: what the tray test asks of Windows itself, started on the
// tray's desktop (a window is found only from the same desktop). Each
// command writes its findings, one line each in UTF-8, to the file named
// last:
//
//   tray_probe find <out>          "window" or "no window" of class and
//                                  title "zepg"
//   tray_probe clear <out>         menu command 310 to it (the balloon
//                                  goes), "cleared"
//   tray_probe close <out>         WM_CLOSE to it, then "ended" once its
//                                  process has ended (10 s at most)
//   tray_probe taskbar <out>       takes the tray's icon away, as a
//                                  restart of the shell does, then
//                                  broadcasts "TaskbarCreated"
//   tray_probe resources <exe> <out>   the strings 103, 104, 113 and the
//                                  menu's first entry, looked up for 1033
//                                  and 1041
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* text, int length) {
  char out[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, length, out, sizeof out,
                              nullptr, nullptr);
  return std::string(out, n > 0 ? n : 0);
}

HWND TrayWindow() { return FindWindowA("zepg", "zepg"); }

// String `id` of a language, read from its string table block.
std::string StringOf(HMODULE module, UINT id, WORD language) {
  HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING),
                                MAKEINTRESOURCEW(id / 16 + 1), language);
  if (found == nullptr) return "(none)";
  const WCHAR* p = static_cast<const WCHAR*>(
      LockResource(LoadResource(module, found)));
  for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
  return Utf8(p + 1, *p);
}

// The first entry of the menu's submenu (the entries follow the popup's
// flags and text in the menu template).
std::string FirstMenuEntry(HMODULE module, WORD language) {
  HRSRC found = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_MENU),
                                MAKEINTRESOURCEW(500), language);
  if (found == nullptr) return "(none)";
  HMENU menu = LoadMenuIndirectW(LockResource(LoadResource(module, found)));
  HMENU popup = GetSubMenu(menu, 0);
  wchar_t text[128] = {};
  int n = GetMenuStringW(popup, 0, text, 128, MF_BYPOSITION);
  int count = GetMenuItemCount(popup);
  DestroyMenu(menu);
  return Utf8(text, n) + " (" + std::to_string(count) + " entries)";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  FILE* out = std::fopen(argv[argc - 1], "wb");
  if (out == nullptr) return 2;
  if (command == "find") {
    std::fputs(TrayWindow() != nullptr ? "window\n" : "no window\n", out);
  } else if (command == "clear") {
    HWND window = TrayWindow();
    if (window != nullptr) PostMessageA(window, WM_COMMAND, 310, 0);
    std::fputs(window != nullptr ? "cleared\n" : "no window\n", out);
  } else if (command == "close") {
    HWND window = TrayWindow();
    DWORD pid = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (window == nullptr || process == nullptr) {
      std::fputs("no window\n", out);
    } else {
      PostMessageA(window, WM_CLOSE, 0, 0);
      bool ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
      std::fputs(ended ? "ended\n" : "still running\n", out);
      CloseHandle(process);
    }
  } else if (command == "taskbar") {
    NOTIFYICONDATAW icon;
    ZeroMemory(&icon, sizeof icon);
    icon.cbSize = NOTIFYICONDATAW_V3_SIZE;
    icon.hWnd = TrayWindow();
    icon.uID = 0;
    if (icon.hWnd != nullptr) Shell_NotifyIconW(NIM_DELETE, &icon);
    UINT message = RegisterWindowMessageA("TaskbarCreated");
    PostMessageA(HWND_BROADCAST, message, 0, 0);
    std::fputs("sent\n", out);
  } else if (command == "resources" && argc == 4) {
    HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const WORD languages[] = {1033, 1041};
    for (WORD language : languages) {
      for (UINT id : {103u, 104u, 113u}) {
        std::fprintf(out, "%u %u %s\n", language, id,
                     StringOf(module, id, language).c_str());
      }
      std::fprintf(out, "%u menu %s\n", language,
                   FirstMenuEntry(module, language).c_str());
    }
  } else {
    std::fclose(out);
    return 2;
  }
  std::fclose(out);
  return 0;
}
