#include <cstdio>
#include <cstring>

#include "launcher.h"
#include "launcher_backend.h"
#include "process.h"

namespace zep {
namespace {

// Characters that make the command interpreter split or act on an unquoted
// argument of a batch file: blanks and tabs, the parameter delimiters , ; =
// and the operators & | < > ^ ( ).
constexpr const char kNeedsQuotes[] = " \t,;=&|<>^()";

class SystemScriptLauncher : public Launcher {
 public:
  int Launch(const std::string& name,
             const std::vector<std::string>& args) override {
    return LaunchScriptArgs(name.c_str(), args);
  }
};

// Every caller passes a bare file name; a name that reaches elsewhere would
// run something outside the installation directory, so it is refused.
bool IsBareName(const char* name) {
  return std::strpbrk(name, "/\\:") == nullptr;
}

}  // namespace

std::vector<std::string> ScriptArguments(
    std::initializer_list<const char*> args) {
  std::vector<std::string> kept;
  for (const char* arg : args) {
    if (arg == nullptr || arg[0] == '\0') break;
    kept.emplace_back(arg);
  }
  return kept;
}

std::vector<std::string> CutScriptArguments(
    const std::vector<std::string>& args) {
  std::vector<std::string> kept;
  for (const std::string& arg : args) {
    if (arg.empty()) break;
    kept.push_back(arg);
  }
  return kept;
}

std::string BuildScriptCommandLine(const std::string& directory,
                                   const std::string& name,
                                   const std::vector<std::string>& args) {
  std::string line;
  line += '"';
  line += directory;
  line += '\\';
  line += name;
  line += '"';
  for (const std::string& arg : args) {
    line += ' ';
    std::string text = arg;
    for (char& c : text) {
      if (c == '"') c = '\'';
    }
    if (text.find_first_of(kNeedsQuotes) != std::string::npos) {
      line += '"';
      line += text;
      line += '"';
    } else {
      line += text;
    }
  }
  return line;
}

int LaunchScriptIn(const std::string& directory, const char* name,
                   const std::vector<std::string>& args) {
  if (name == nullptr || name[0] == '\0' || !IsBareName(name)) return 0;
  if (directory.empty()) return 0;
  return StartScriptProcess(directory, name, CutScriptArguments(args));
}

int LaunchScriptArgs(const char* name, const std::vector<std::string>& args) {
  if (name == nullptr) return 0;
  std::string directory = CurrentDirectory();
  if (directory.empty()) return 0;
  return LaunchScriptIn(directory, name, args);
}

std::string ScriptPath(const char* name) {
  if (name == nullptr || name[0] == '\0' || !IsBareName(name)) return "";
  std::string directory = CurrentDirectory();
  if (directory.empty()) return "";
  return ScriptFilePath(directory, name);
}

bool ScriptIsPresent(const char* name) {
  const std::string path = ScriptPath(name);
  if (path.empty()) return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

int LaunchScript(const char* name, std::initializer_list<const char*> args) {
  return LaunchScriptArgs(name, ScriptArguments(args));
}

Launcher& SystemLauncher() {
  static SystemScriptLauncher launcher;
  return launcher;
}

}  // namespace zep
