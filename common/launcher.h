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
std::vector<std::string> ScriptArguments(
    std::initializer_list<const char*> args);

/// The same cut applied to a list that is already made.
std::vector<std::string> CutScriptArguments(
    const std::vector<std::string>& args);

/// The Windows command line: the quoted path, then each argument after a
/// blank. An argument is put in double quotes when it contains a blank, or a
/// character that the command interpreter running the batch file would
/// otherwise take as a separator or an operator (tab , ; = & | < > ^ ( ));
/// a double quote inside an argument becomes a single quote, because the
/// interpreter has no way to pass it on and it would unbalance the line.
/// Never cut, however long.
std::string BuildScriptCommandLine(const std::string& directory,
                                   const std::string& name,
                                   const std::vector<std::string>& args);

/// Starts `name` (a bare file name such as "status.bat") from the current
/// directory. Returns 1 when the process was created, 0 otherwise (also for a
/// null or empty name, a name with a directory part, an unreadable current
/// directory, or a command line beyond the platform's own limit). The list
/// ends at the first null or empty argument.
int LaunchScript(const char* name, std::initializer_list<const char*> args);
int LaunchScriptArgs(const char* name, const std::vector<std::string>& args);

/// As LaunchScriptArgs, from `directory` instead of the current directory;
/// the script also runs with `directory` as its current directory.
int LaunchScriptIn(const std::string& directory, const char* name,
                   const std::vector<std::string>& args);

/// The file that would run for the script `name` from the current
/// directory ("name.sh" for "name.bat" on POSIX); empty for a name the
/// launcher refuses or when the current directory cannot be read.
std::string ScriptPath(const char* name);

/// Whether that file exists and can be read.
bool ScriptIsPresent(const char* name);

/// The launcher as a seam, so that tests can record what would run.
class Launcher {
 public:
  virtual ~Launcher() = default;
  virtual int Launch(const std::string& name,
                     const std::vector<std::string>& args) = 0;
};

/// The real launcher (LaunchScriptArgs).
Launcher& SystemLauncher();

}  // namespace zep
