// The platform half of the script launcher. The common half (argument cut,
// name checks, the current directory) calls this once everything is known.
#pragma once

#include <string>
#include <vector>

namespace zep {

/// The file that runs for the script `name` in `directory` (no trailing
/// separator): the batch file itself on Windows, "name.sh" for "name.bat"
/// on POSIX.
std::string ScriptFilePath(const std::string& directory,
                           const std::string& name);

/// Starts the script `name` found in `directory` (no trailing separator)
/// with `args` (already cut at the first empty one), in that directory and
/// with the process's own environment, and does not wait for it. Returns 1
/// when a process was created, 0 otherwise.
int StartScriptProcess(const std::string& directory, const std::string& name,
                       const std::vector<std::string>& args);

}  // namespace zep
