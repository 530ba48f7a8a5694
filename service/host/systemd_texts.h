// Texts the POSIX host hands to systemd: the unit file that "-setup" writes
// and the notify messages that carry the service status.
#pragma once

#include <cstdint>
#include <string>

#include "host/service_host.h"

namespace zep {

/// One word of an ExecStart= line: '%' and '$' doubled (systemd would
/// expand them), and in double quotes with '\\' and '"' escaped when it
/// holds a blank, a quote, a backslash or a ';'.
std::string SystemdExecWord(const std::string& word);

/// The unit: Type=notify, ExecStart=<exe> <extra>, WorkingDirectory=<dir>,
/// Restart=on-failure, started after the network, wanted by the multi-user
/// target. `directory` has no trailing separator.
std::string SystemdUnitText(const std::string& description,
                            const std::string& executable,
                            const std::string& extra_argument,
                            const std::string& directory);

/// The notify message for a reported status: READY=1 when running,
/// STOPPING=1 when stop pending, EXTEND_TIMEOUT_USEC=<wait hint in µs> for a
/// pending state with a wait hint, ERRNO=<code> when stopped with an exit
/// code, and always STATUS=<state name>; lines joined by "\n".
std::string NotifyMessage(const ServiceStatusValues& values);

/// Whether the output of "systemctl list-jobs --no-legend" holds a start job
/// of shutdown.target: the computer is shutting down (or rebooting). Each
/// line is "<id> <unit> <type> <state>"; a marker ("*" or "●") may come
/// first.
bool ShutdownJobQueued(const std::string& list_jobs_output);

}  // namespace zep
