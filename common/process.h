// Process-level facets of the platform: where the program lives, the
// environment that holds the settings, clocks, sleeping, the code page, and
// the small system requests (working-set trim, away mode, beep).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zep {

/// The directory separator of the platform ('\\' on Windows, '/' elsewhere).
char PathSeparator();

/// Full path of the running executable; empty when it cannot be read.
std::string ExecutablePath();

/// The executable's directory including its trailing separator; empty when
/// the path cannot be read.
std::string ExecutableDirectory();

/// Makes the executable's directory the current directory. Batch files,
/// `ZEP.conf` and the message files are all found there.
bool ChangeToExecutableDirectory();

/// The current directory without a trailing separator; empty on failure.
std::string CurrentDirectory();

/// Puts one setting text into the process environment, with the runtime's
/// put-environment rules: "KEY=VALUE" sets the variable, "KEY=" removes it,
/// and a text without "=" (or with an empty key) is refused. Returns 0 on
/// success, -1 when refused. Every environment access of the programs goes
/// through these functions, which share one lock, so the configuration thread
/// may rewrite a value while other threads read it.
int PutEnvironmentText(const char* setting);

/// Reads a variable; false when it is not set.
bool GetEnvironmentValue(const char* key, std::string* value);

/// A copy of the whole environment as "KEY=VALUE" texts, taken under the
/// environment lock (for starting child processes).
std::vector<std::string> EnvironmentSnapshot();

void SleepMilliseconds(int ms);

/// Seconds since 1970-01-01 00:00 UTC (the runtime's time function).
int64_t WallClockSeconds();

/// A steady clock for time-outs and durations.
int64_t MonotonicMilliseconds();

/// The ANSI code page (GetACP). On POSIX a ja_* locale counts as 932,
/// anything else as 1252.
int AnsiCodePage();

/// Whether the code page can be used on this computer (GetCPInfo).
bool CodePageAvailable(int code_page);

/// The user's interface language identifier (GetUserDefaultUILanguage); on
/// POSIX 0x0411 for a ja_* locale, 0x0409 otherwise.
int UserInterfaceLanguage();

/// Asks the system to trim the working set (a no-op on POSIX).
void TrimWorkingSet();

/// SetThreadExecutionState on Windows; a no-op on POSIX.
void SetExecutionState(uint32_t flags);

/// A tone of the given frequency and length (the terminal bell on POSIX,
/// which then also waits the length).
void SoundBeep(int frequency, int duration_ms);

}  // namespace zep
