// The platform half of the service host (host_win32.cpp, host_posix.cpp).
// The portable half calls these; they call back into the handlers of
// service_host.h on the process-wide host.
#pragma once

#include <cstdint>

namespace zep {

struct HostState;

/// Service mode: hands the process to the service manager and returns when
/// the service has stopped (1), or 0 at once when the program was not
/// started by the manager.
int RunServiceDispatcher(HostState& host);

/// Console mode: routes the console events (Windows) or the console signals
/// (POSIX) to ConsoleControlHandler. Called before any other thread exists.
bool InstallConsoleControl(HostState& host);
void RemoveConsoleControl();

/// The system's code of the last failure (GetLastError, errno).
uint32_t LastSystemError();

}  // namespace zep
