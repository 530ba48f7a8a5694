// The service host on Windows: the service control manager (install,
// remove, dispatcher, control handler, status reports) and the console
// control handler of console mode.
#include <windows.h>

#include <string>

#include "handles_win32.h"
#include "host/host_platform.h"
#include "host/service_host.h"
#include "process.h"

namespace zep {
namespace {

class ManagerSink : public StatusSink {
 public:
  void Attach(SERVICE_STATUS_HANDLE handle) { handle_ = handle; }

  bool Send(const ServiceStatusValues& values, uint32_t* error) override {
    SERVICE_STATUS status;
    status.dwServiceType = values.service_type;
    status.dwCurrentState = values.current_state;
    status.dwControlsAccepted = values.controls_accepted;
    status.dwWin32ExitCode = values.win32_exit_code;
    status.dwServiceSpecificExitCode = values.service_specific_exit_code;
    status.dwCheckPoint = values.checkpoint;
    status.dwWaitHint = values.wait_hint;
    if (SetServiceStatus(handle_, &status)) return true;
    if (error != nullptr) *error = GetLastError();
    return false;
  }

 private:
  SERVICE_STATUS_HANDLE handle_ = nullptr;
};

ManagerSink& Sink() {
  static ManagerSink sink;
  return sink;
}

// The handler runs on the program's main thread, inside the dispatcher. The
// plain (not Ex) registration is enough: the service accepts stop and
// shutdown only.
void WINAPI ControlHandler(DWORD control) { ServiceControlHandler(control); }

void WINAPI ServiceMain(DWORD, LPSTR*) {
  HostState& host = ProcessHost();
  host.status.Clear();
  SERVICE_STATUS_HANDLE handle =
      RegisterServiceCtrlHandlerA(host.descriptor.name, &ControlHandler);
  if (handle == nullptr) return;
  Sink().Attach(handle);
  host.status_sink.store(&Sink());
  RunServiceWorker(host);
}

BOOL WINAPI ConsoleHandler(DWORD event) {
  return ConsoleControlHandler(event) ? TRUE : FALSE;
}

}  // namespace

int InstallService(const char* name, const char* display_name,
                   const char* extra_argument) {
  ServiceManagerHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return 0;
  std::string executable = ExecutablePath();
  if (executable.empty()) return 0;
  // The path is quoted so that a blank in it ("Program Files") cannot make
  // the manager start another program, and nothing is cut off.
  std::string command = "\"" + executable + "\"";
  if (extra_argument != nullptr && extra_argument[0] != '\0') {
    command += " ";
    command += extra_argument;
  }
  // A list of names, each ended by a NUL, and the list by an empty name.
  static const char kDependencies[] = "Tcpip\0";
  ServiceManagerHandle service(CreateServiceA(
      manager.get(), name, display_name, SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
      command.c_str(), nullptr, nullptr, kDependencies, nullptr, nullptr));
  if (service) return 1;
  return GetLastError() == ERROR_SERVICE_EXISTS ? 1 : 0;
}

int RemoveService(const char* name) {
  ServiceManagerHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return 0;
  ServiceManagerHandle service(OpenServiceA(
      manager.get(), name, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS status;
  if (QueryServiceStatus(service.get(), &status) &&
      status.dwCurrentState == SERVICE_RUNNING) {
    // The removal does not wait for the stop to finish.
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  }
  if (DeleteService(service.get())) return 1;
  return GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE ? 1 : 0;
}

int RunServiceDispatcher(HostState& host) {
  static SERVICE_TABLE_ENTRYA table[2];
  table[0].lpServiceName = host.descriptor.name;
  table[0].lpServiceProc = &ServiceMain;
  table[1].lpServiceName = nullptr;
  table[1].lpServiceProc = nullptr;
  return StartServiceCtrlDispatcherA(table) ? 1 : 0;
}

bool InstallConsoleControl(HostState&) {
  return SetConsoleCtrlHandler(&ConsoleHandler, TRUE) != 0;
}

void RemoveConsoleControl() { SetConsoleCtrlHandler(&ConsoleHandler, FALSE); }

uint32_t LastSystemError() { return GetLastError(); }

}  // namespace zep
