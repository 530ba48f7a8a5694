// Starting the user's batch files. The service and the tray start every
// script through here and never wait for it to end.
//
// Windows: CreateProcessA of "\"<dir>\\<name>\" args" (CREATE_NO_WINDOW,
// WaitForInputIdle up to 500 ms). POSIX: "name.bat" becomes the shell script
// "name.sh" in the same directory, run as /bin/sh <dir>/<name>.sh args; the
// children are reaped so that none is left a zombie.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace zep {

/// The arguments up to (not including) the first null or empty one.
std::vector<std::string> ScriptArguments(std::initializer_list<const char*> args);

/// The Windows command line: the quoted path, then each argument after a
/// blank, in double quotes when it contains a blank. Never cut.
std::string BuildScriptCommandLine(const std::string& directory,
                                   const std::string& name,
                                   const std::vector<std::string>& args);

/// Starts `name` (a bare file name such as "status.bat") from the current
/// directory. Returns 1 when the process was created, 0 otherwise (also for a
/// null name, an unreadable current directory, or a command line beyond the
/// platform's own limit).
int LaunchScript(const char* name, std::initializer_list<const char*> args);
int LaunchScriptArgs(const char* name, const std::vector<std::string>& args);

/// The launcher as a seam, so that tests can record what would run.
class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual int Launch(const std::string& name, const std::vector<std::string>& args) = 0;
};

/// The real launcher (LaunchScriptArgs).
Launcher& SystemLauncher();

}  // namespace zep
