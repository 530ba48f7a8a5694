// service_stop.dll: a custom action of the installation package alone (not
// one of the programs it installs). It stops the service that
// "CustomActionData" names and returns once the service has stopped and
// its process has ended, or after kStopBoundMs.
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

#include <memory>

#include "custom_action_data.h"

namespace {

// The service's own stop takes up to 3 s for each of its six workers.
constexpr ULONGLONG kStopBoundMs = 30000;
constexpr DWORD kPollMs = 100;

// A service control manager handle, closed on every path.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ScHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

bool QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                              reinterpret_cast<BYTE*>(status), sizeof *status,
                              &needed) != 0;
}

void StopAndWait(const wchar_t* name) {
  ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.get() == nullptr) return;
  ScHandle service(
      OpenServiceW(manager.get(), name, SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (service.get() == nullptr) return;  // Not installed: nothing to stop.
  SERVICE_STATUS_PROCESS status = {};
  if (!QueryStatus(service.get(), &status) ||
      status.dwCurrentState == SERVICE_STOPPED) {
    return;
  }
  // The process is held from now on, so that its end can be seen even
  // after the manager has forgotten it.
  HANDLE process = status.dwProcessId != 0
                       ? OpenProcess(SYNCHRONIZE, FALSE, status.dwProcessId)
                       : nullptr;
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
  if (process != nullptr) {
    ULONGLONG spent = GetTickCount64() - start;
    if (spent < kStopBoundMs) {
      WaitForSingleObject(process, static_cast<DWORD>(kStopBoundMs - spent));
    }
    CloseHandle(process);
  }
}

}  // namespace

extern "C" UINT WINAPI StopServiceAndWait(MSIHANDLE session) {
  std::unique_ptr<wchar_t[]> name = zep::ReadCustomActionData(session);
  if (name) StopAndWait(name.get());
  return ERROR_SUCCESS;
}
