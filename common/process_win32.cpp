#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "process.h"
#include "process_backend.h"

namespace zep {

char PathSeparator() { return '\\'; }

std::string ExecutablePath() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(buffer, n);
}

bool ChangeToExecutableDirectory() {
  std::string dir = ExecutableDirectory();
  return !dir.empty() && SetCurrentDirectoryA(dir.c_str()) != 0;
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  std::string dir(buffer, n);
  // A drive root keeps its separator ("C:\"); drop it so callers add one.
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  return dir;
}

int PutEnvironmentText(const char* setting) {
  if (setting == nullptr) return -1;
  const char* eq = std::strchr(setting, '=');
  if (eq == nullptr || eq == setting) return -1;
  std::lock_guard<std::mutex> hold(EnvironmentLock());
  // _putenv keeps the C runtime's copy and the process environment block,
  // which CreateProcessA hands to batch files, in step.
  return _putenv(setting) == 0 ? 0 : -1;
}

std::vector<std::string> EnvironmentSnapshot() {
  std::lock_guard<std::mutex> hold(EnvironmentLock());
  std::vector<std::string> copy;
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) return copy;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
    copy.emplace_back(entry);
  }
  FreeEnvironmentStringsA(block);
  return copy;
}

void SleepMilliseconds(int ms) {
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

int64_t WallClockSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  // 100 ns ticks since 1601 to seconds since 1970.
  return static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

int64_t MonotonicMilliseconds() { return static_cast<int64_t>(GetTickCount64()); }

int AnsiCodePage() { return static_cast<int>(GetACP()); }

bool CodePageAvailable(int code_page) {
  CPINFO info;
  return GetCPInfo(static_cast<UINT>(code_page), &info) != 0;
}

int UserInterfaceLanguage() { return static_cast<int>(GetUserDefaultUILanguage()); }

void TrimWorkingSet() {
  SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1),
                           static_cast<SIZE_T>(-1));
}

void SetExecutionState(uint32_t flags) {
  SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags));
}

void SoundBeep(int frequency, int duration_ms) {
  Beep(static_cast<DWORD>(frequency), static_cast<DWORD>(duration_ms));
}

}  // namespace zep
