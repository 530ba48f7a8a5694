#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "process.h"
#include "process_backend.h"

extern char** environ;

namespace zep {
namespace {

// The message language follows the locale, as the code page does on Windows.
bool JapaneseLocale() {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char* name : names) {
    std::string value;
    if (GetEnvironmentValue(name, &value) && !value.empty()) {
      return value.compare(0, 3, "ja_") == 0 || value == "ja";
    }
  }
  return false;
}

}  // namespace

char PathSeparator() { return '/'; }

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

bool ChangeToExecutableDirectory() {
  std::string dir = ExecutableDirectory();
  return !dir.empty() && chdir(dir.c_str()) == 0;
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX + 1];
  if (getcwd(buffer, sizeof buffer) == nullptr) return std::string();
  return buffer;
}

int PutEnvironmentText(const char* setting) {
  if (setting == nullptr) return -1;
  const char* eq = std::strchr(setting, '=');
  if (eq == nullptr || eq == setting) return -1;
  std::string key(setting, static_cast<size_t>(eq - setting));
  std::lock_guard<std::mutex> hold(EnvironmentLock());
  if (eq[1] == '\0') return unsetenv(key.c_str()) == 0 ? 0 : -1;
  return setenv(key.c_str(), eq + 1, 1) == 0 ? 0 : -1;
}

std::vector<std::string> EnvironmentSnapshot() {
  std::lock_guard<std::mutex> hold(EnvironmentLock());
  std::vector<std::string> copy;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    copy.emplace_back(*entry);
  }
  return copy;
}

void SleepMilliseconds(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t WallClockSeconds() { return static_cast<int64_t>(time(nullptr)); }

int64_t MonotonicMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int AnsiCodePage() { return JapaneseLocale() ? 932 : 1252; }

bool CodePageAvailable(int code_page) {
  // The message texts are passed through byte for byte, so both code pages
  // the system knows are always usable.
  return code_page == 932 || code_page == 1252;
}

int UserInterfaceLanguage() { return JapaneseLocale() ? 0x0411 : 0x0409; }

void TrimWorkingSet() {}

void SetExecutionState(uint32_t) {}

void SoundBeep(int, int duration_ms) {
  static const char bell = '\a';
  if (isatty(STDOUT_FILENO)) {
    ssize_t ignored = write(STDOUT_FILENO, &bell, 1);
    (void)ignored;
  }
  SleepMilliseconds(duration_ms);
}

}  // namespace zep
