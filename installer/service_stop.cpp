// service_stop.dll: a custom action of the installation package alone (not
// one of the programs it installs). It stops the service that
// "CustomActionData" names and returns once the service has stopped, its
// process has ended and so have the scripts it started on its way out
// (status.bat runs zepe.exe for the "Stop Service" record), or after the
// bounds below.
//
// The package's StopServices asks the service to stop, and Windows
// Installer waits until it reports stopped; but the process may still be
// ending then, holding zeps.exe, and Wine's installer does not wait at
// all, so that the service is deleted while stopping, its name cannot be
// registered again and its files cannot be removed. Running this first
// makes the stop complete everywhere. Like the tray's actions it reports
// success in every case.
//
// windows.h first: the installer headers need its types.
// clang-format off
#include <windows.h>
#include <msi.h>
// clang-format on

#include <tlhelp32.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "custom_action_data.h"
#include "handles_win32.h"

namespace {

using zep::ProcessHandle;
using zep::ServiceManagerHandle;

// The service's own stop takes up to 3 s for each of its six workers; the
// scripts it starts when it stops take a moment each.
constexpr ULONGLONG kStopBoundMs = 30000;
constexpr ULONGLONG kScriptsBoundMs = 10000;
constexpr DWORD kPollMs = 100;

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(status), sizeof *status,
                              &needed) != 0;
}

HANDLE OpenForWaiting(DWORD id) {
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                     id);
}

// The directory of a running program with its trailing '\'; empty when
// it cannot be read.
std::wstring ProgramDirectory(HANDLE process) {
  wchar_t path[MAX_PATH * 4];
  DWORD size = static_cast<DWORD>(sizeof path / sizeof path[0]);
  if (process == nullptr ||
      QueryFullProcessImageNameW(process, 0, path, &size) == 0) {
    return std::wstring();
  }
  std::wstring text(path, size);
  size_t cut = text.rfind(L'\\');
  return cut == std::wstring::npos ? std::wstring() : text.substr(0, cut + 1);
}

// One process that the service leaves behind, or 0: a descendant of the
// service (a script it started, and what that started), or a program from
// the service's directory (zepe.exe), other than this process.
DWORD NextLeftBehind(DWORD service_id, const std::wstring& directory) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  std::vector<PROCESSENTRY32W> entries;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    entries.push_back(entry);
  }
  CloseHandle(snapshot);

  std::vector<DWORD> family = {service_id};
  for (size_t grown = 1; grown != 0;) {
    grown = 0;
    for (const PROCESSENTRY32W& e : entries) {
      bool known = std::find(family.begin(), family.end(), e.th32ProcessID) !=
                   family.end();
      bool child = std::find(family.begin(), family.end(),
                             e.th32ParentProcessID) != family.end();
      if (child && !known) {
        family.push_back(e.th32ProcessID);
        ++grown;
      }
    }
  }
  const DWORD self = GetCurrentProcessId();
  for (const PROCESSENTRY32W& e : entries) {
    if (e.th32ProcessID == self || e.th32ProcessID == 0) continue;
    if (std::find(family.begin() + 1, family.end(), e.th32ProcessID) !=
        family.end()) {
      return e.th32ProcessID;
    }
    ProcessHandle process(OpenForWaiting(e.th32ProcessID));
    std::wstring from = ProgramDirectory(process.get());
    if (!directory.empty() && !from.empty() &&
        _wcsicmp(from.c_str(), directory.c_str()) == 0) {
      return e.th32ProcessID;
    }
  }
  return 0;
}

void StopAndWait(const wchar_t* name) {
  ServiceManagerHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return;
  ServiceManagerHandle service(
      OpenServiceW(manager.get(), name, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (service.get() == nullptr) return;  // Not installed: nothing to stop.
  SERVICE_STATUS_PROCESS status = {};
  if (!QueryStatus(service.get(), &status) ||
      status.dwCurrentState == SERVICE_STOPPED) {
    return;
  }
  // The process is held from now on, so that its end can be seen even
  // after the manager has forgotten it.
  const DWORD service_id = status.dwProcessId;
  ProcessHandle process(service_id != 0 ? OpenForWaiting(service_id) : nullptr);
  const std::wstring directory = ProgramDirectory(process.get());
  if (status.dwCurrentState != SERVICE_STOP_PENDING) {
    SERVICE_STATUS ignored;
    ControlService(service.get(), SERVICE_CONTROL_STOP, &ignored);
  }
  const ULONGLONG start = GetTickCount64();
  while (QueryStatus(service.get(), &status) &&
         status.dwCurrentState != SERVICE_STOPPED &&
         GetTickCount64() - start < kStopBoundMs) {
    Sleep(kPollMs);
  }
  if (process.get() == nullptr) return;
  ULONGLONG spent = GetTickCount64() - start;
  if (spent >= kStopBoundMs ||
      WaitForSingleObject(process.get(),
                          static_cast<DWORD>(kStopBoundMs - spent)) !=
          WAIT_OBJECT_0) {
    return;
  }
  const ULONGLONG scripts_end = GetTickCount64() + kScriptsBoundMs;
  for (ULONGLONG now = GetTickCount64(); now < scripts_end;
       now = GetTickCount64()) {
    DWORD id = NextLeftBehind(service_id, directory);
    if (id == 0) return;
    ProcessHandle left(OpenForWaiting(id));
    if (left.get() == nullptr) {
      Sleep(kPollMs);  // Gone already, or not ours to wait for.
      continue;
    }
    WaitForSingleObject(left.get(), static_cast<DWORD>(scripts_end - now));
  }
}

}  // namespace

extern "C" UINT WINAPI StopServiceAndWait(MSIHANDLE session) {
  std::unique_ptr<wchar_t[]> name = zep::ReadCustomActionData(session);
  // No exception leaves the library: without memory for the list of
  // processes, the wait is simply cut short.
  try {
    if (name) StopAndWait(name.get());
  } catch (...) {
  }
  return ERROR_SUCCESS;
}
