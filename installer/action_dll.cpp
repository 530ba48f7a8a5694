// action.dll: the two custom actions the installation package runs. Each
// reads what it works on from "CustomActionData" and reports success in
// every case, so that the installation never fails because of them.
//
// windows.h first: the installer and shell headers need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
#include <shellapi.h>
// clang-format on

#include <memory>

#include "close_windows.h"
#include "custom_action_data.h"

extern "C" {

/// Opens the property text with the shell (the tray program, after the
/// installation). The shell's result is not looked at.
UINT WINAPI AppOpen(MSIHANDLE session) {
  std::unique_ptr<wchar_t[]> target = zep::ReadCustomActionData(session);
  if (target) {
    ShellExecuteW(nullptr, nullptr, target.get(), nullptr, nullptr,
                  SW_SHOWNORMAL);
  }
  return ERROR_SUCCESS;
}

/// Closes every window whose class name and title are the property text
/// (the tray program's "zepg", before its files are removed) and waits for
/// its program to end.
UINT WINAPI AppClose(MSIHANDLE session) {
  std::unique_ptr<wchar_t[]> name = zep::ReadCustomActionData(session);
  if (name) zep::CloseWindowsNamed(name.get());
  return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

}  // extern "C"
