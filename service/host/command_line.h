// The command line of zeps: "setup", "remove", "service" and "debug" after
// "-" or "/", in any case; the usage lines; the program's entry.
#pragma once

namespace zep {

/// What the arguments ask for.
struct CommandLineChoice {
  enum Action { kNothing, kSetup, kRemove, kRun };
  Action action = kNothing;
  /// With kRun: service mode (service wins over debug) or console mode.
  bool service_mode = false;
};

/// Reads the options from left to right: setup and remove act at once (later
/// arguments are not looked at); service and debug only mark the run mode.
/// Arguments without "-" or "/" and unknown options are skipped.
CommandLineChoice ParseCommandLine(int argc, const char* const* argv);

/// Prints the two usage lines with "zeps" to standard output.
void PrintUsage();

/// The whole program: parse, install, remove, or change to the executable's
/// directory and run the host with the service body. Returns the exit code:
/// 0 on success, 1 after printing the usage.
int ZepsMain(int argc, const char* const* argv);

}  // namespace zep
