#include <windows.h>

#include <string>
#include <vector>

#include "launcher.h"
#include "launcher_backend.h"
#include "trace.h"

namespace zep {
namespace {

// A batch file runs in the command interpreter, which refuses a line of
// more than 8191 characters after its process has been created: such a
// script would count as started and do nothing. (CreateProcessA itself
// would take 32766.)
constexpr size_t kMaxCommandLine = 8191;

}  // namespace

std::string ScriptFilePath(const std::string& directory,
                           const std::string& name) {
  return directory + "\\" + name;
}

int StartScriptProcess(const std::string& directory, const std::string& name,
                       const std::vector<std::string>& args) {
  std::string line = BuildScriptCommandLine(directory, name, args);
  if (line.size() > kMaxCommandLine) {
    TraceFormat("Command line too long (%u characters): %s\r\n",
                static_cast<unsigned>(line.size()), name.c_str());
    return 0;
  }
  // CreateProcessA may write into the command line, so it gets its own copy.
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  // No application name: the system finds the interpreter for the .bat from
  // the quoted path. The environment block is the process's own, which holds
  // the settings, so the batch file sees them as variables.
  BOOL created = CreateProcessA(nullptr, writable.data(), nullptr, nullptr,
                                FALSE, CREATE_NO_WINDOW, nullptr,
                                directory.c_str(), &startup, &process);
  if (!created || process.hProcess == nullptr) {
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    return 0;
  }
  // A batch file runs in a console process without a message queue, for
  // which this returns WAIT_FAILED at once; only a time-out is worth a line.
  if (WaitForInputIdle(process.hProcess, 500) == WAIT_TIMEOUT) {
    Trace("Input Idle T.O:");
    Trace(line);
    Trace("\r\n");
  }
  CloseHandle(process.hProcess);
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  return 1;
}

}  // namespace zep
