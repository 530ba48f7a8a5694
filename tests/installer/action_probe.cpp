// action_probe.exe: calls a custom action of action.dll as the installer
// does, on a session whose "CustomActionData" is the given text, and
// reports what it returned, how long it took, and what became of the
// window it was to close.
//
//   action_probe.exe <action.dll> AppOpen|AppClose <text>
//       prints "result=<code> ms=<elapsed> window=<found|none>
//       process=<running|ended|none>": the window of class and title
//       "zepg" after the call, and the process that owned it before
//   action_probe.exe find
//       prints "window=found pid=<id>" (exit code 0) or "window=none" (1)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "msi_session.h"

namespace {

using CustomAction = UINT(WINAPI*)(MSIHANDLE);

std::wstring Wide(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring out(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, &out[0], n);
  out.resize(out.size() - 1);
  return out;
}

int Find() {
  HWND window = FindWindowW(L"zepg", L"zepg");
  if (window == nullptr) {
    std::printf("window=none\n");
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  std::printf("window=found pid=%lu\n", pid);
  return 0;
}

int Call(const char* dll, const char* export_name, const char* text) {
  HMODULE library = LoadLibraryA(dll);
  if (library == nullptr) {
    std::printf("cannot load %s (%lu)\n", dll, GetLastError());
    return 2;
  }
  auto action = reinterpret_cast<CustomAction>(
      reinterpret_cast<void*>(GetProcAddress(library, export_name)));
  if (action == nullptr) {
    std::printf("no export %s\n", export_name);
    return 2;
  }
  zep::EmptyPackageSession package;
  UINT rc = package.Open();
  if (rc == ERROR_SUCCESS) {
    rc = MsiSetPropertyW(package.session(), L"CustomActionData",
                         Wide(text).c_str());
  }
  if (rc != ERROR_SUCCESS) {
    std::printf("no session (%u)\n", rc);
    return 2;
  }
  // The owner of the window before the call, held so that its end can be
  // seen afterwards.
  HANDLE owner = nullptr;
  if (HWND window = FindWindowW(L"zepg", L"zepg")) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    owner = OpenProcess(SYNCHRONIZE, FALSE, pid);
  }
  ULONGLONG start = GetTickCount64();
  UINT result = action(package.session());
  ULONGLONG elapsed = GetTickCount64() - start;
  bool window_left = FindWindowW(L"zepg", L"zepg") != nullptr;
  const char* process = "none";
  if (owner != nullptr) {
    process =
        WaitForSingleObject(owner, 0) == WAIT_OBJECT_0 ? "ended" : "running";
    CloseHandle(owner);
  }
  std::printf("result=%u ms=%llu window=%s process=%s\n", result, elapsed,
              window_left ? "found" : "none", process);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "find") return Find();
  if (argc == 4) return Call(argv[1], argv[2], argv[3]);
  std::printf(
      "usage: action_probe <action.dll> AppOpen|AppClose <text>\n"
      "       action_probe find\n");
  return 2;
}
