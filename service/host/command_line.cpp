#include "command_line.h"

#include <cstdio>

#include "host/service_host.h"
#include "host/worker_table.h"
#include "process.h"
#include "text_format.h"

namespace zep {
namespace {

constexpr char kServiceName[] = "zeps";
constexpr char kDisplayName[] = "ZEP Service";

// The names are compared without regard to case, in plain ASCII.
bool SameOption(const char* option, const char* name) {
  for (; *option != '\0' && *name != '\0'; ++option, ++name) {
    char a = *option;
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != *name) return false;
  }
  return *option == '\0' && *name == '\0';
}

int DoNothing() { return 0; }

}  // namespace

CommandLineChoice ParseCommandLine(int argc, const char* const* argv) {
  CommandLineChoice choice;
  bool service = false;
  bool debug = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr || (arg[0] != '-' && arg[0] != '/')) continue;
    const char* option = arg + 1;
    if (SameOption(option, "setup")) {
      choice.action = CommandLineChoice::kSetup;
      return choice;
    }
    if (SameOption(option, "remove")) {
      choice.action = CommandLineChoice::kRemove;
      return choice;
    }
    if (SameOption(option, "service")) service = true;
    if (SameOption(option, "debug")) debug = true;
  }
  if (service || debug) {
    choice.action = CommandLineChoice::kRun;
    choice.service_mode = service;
  }
  return choice;
}

void PrintUsage() {
  std::printf("%s -setup  to setup the event message\n", kServiceName);
  std::printf("%s -remove to remove the event message\n", kServiceName);
  std::fflush(stdout);
}

int ZepsMain(int argc, const char* const* argv) {
  int result = 0;
  CommandLineChoice choice = ParseCommandLine(argc, argv);
  switch (choice.action) {
    case CommandLineChoice::kSetup:
      result = InstallService(kServiceName, kDisplayName, "-service");
      break;
    case CommandLineChoice::kRemove:
      result = RemoveService(kServiceName);
      break;
    case CommandLineChoice::kRun: {
      // Batch files, ZEP.conf and the message files are found here.
      ChangeToExecutableDirectory();
      ServiceDescriptor descriptor;
      FormatFixed(descriptor.name, 262, "%s", kServiceName);
      descriptor.run_hook = &ServiceRunHook;
      descriptor.shutdown_hook = &ServiceShutdownHook;
      if (choice.service_mode) {
        descriptor.stop_hook = &DoNothing;
        descriptor.pause_hook = &DoNothing;
        descriptor.continue_hook = &DoNothing;
      }
      result = RunServiceHost(ProcessHost(), descriptor);
      break;
    }
    case CommandLineChoice::kNothing:
      result = 0;
      break;
  }
  if (result != 1) {
    PrintUsage();
    return 1;
  }
  return 0;
}

}  // namespace zep
