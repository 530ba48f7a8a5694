// upssim: plays a UPS on a pseudo-terminal so that the suite can be tried and
// tested without one. See sim/README.md.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "clock.h"
#include "scenario.h"
#include "simulator.h"
#include "text_format.h"

namespace {

using zep::SimOptions;
using zep::Simulator;

const char kUsage[] =
    "Usage: upssim [options]\n"
    "Plays a UPS on a pseudo-terminal: prints the terminal's path, then\n"
    "\"ready\", and serves until SIGINT, SIGTERM or \"quit\" on standard "
    "input.\n"
    "\n"
    "Options:\n"
    "  --link PATH         make PATH a symbolic link to the terminal\n"
    "  --protocol NAME     text (default) or binary\n"
    "  --baud N            line speed the UPS answers at (default 2400)\n"
    "  --model NAME        UPS model (default T-PWR15J1 for text,\n"
    "                      ZPX-A1500JC for binary)\n"
    "  --state NAME        state to start in (default normal)\n"
    "  --scenario FILE     play the timed steps of FILE\n"
    "  --log FILE          write the exchange log to FILE as well\n"
    "  --seed N            seed of the garbage state's noise (default 1)\n"
    "  --line-time on|off  answers take their bytes' time on the line, as\n"
    "                      from a real UPS (default off: at once)\n"
    "  --help              show this text\n"
    "\n"
    "States: normal, mains-failure, battery-low, over-temperature, overload,\n"
    "        silence, garbage\n"
    "Commands on standard input, one a line: a state name, reject-controls,\n"
    "accept-controls, cut-answers, whole-answers, replug, protocol NAME,\n"
    "baud N, model NAME, status, quit.\n";

int g_signal_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signalled = 0;

// Wakes the main loop, which waits without a time-out.
void WakeMainLoop() {
  const char wake = 1;
  if (write(g_signal_pipe[1], &wake, 1) < 0) {
    // Only a full pipe refuses the byte, and then the loop is awake.
  }
}

void OnSignal(int) {
  g_signalled = 1;
  WakeMainLoop();
}

void Say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool ParseNumber(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || n < low || n > high) return false;
  *value = n;
  return true;
}

struct Arguments {
  SimOptions options;
  std::string scenario_path;
  bool help = false;
};

// Reads the command line; on an error prints it and returns false.
bool ParseArguments(int argc, char** argv, Arguments* out) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool has_value = false;
    const size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      out->help = true;
      continue;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "upssim: %s needs a value\n", name.c_str());
        return false;
      }
      value = argv[++i];
    }
    long number = 0;
    if (name == "--link") {
      out->options.link_path = value;
    } else if (name == "--protocol") {
      if (!zep::ParseProtocol(value, &out->options.protocol)) {
        std::fprintf(stderr, "upssim: unknown protocol \"%s\"\n",
                     value.c_str());
        return false;
      }
    } else if (name == "--baud") {
      if (!ParseNumber(value, 1, 4000000, &number)) {
        std::fprintf(stderr, "upssim: bad speed \"%s\"\n", value.c_str());
        return false;
      }
      out->options.baud = static_cast<int>(number);
    } else if (name == "--model") {
      if (zep::FindModel(value) == nullptr) {
        std::fprintf(stderr, "upssim: unknown model \"%s\"\n", value.c_str());
        return false;
      }
      out->options.model = value;
    } else if (name == "--state") {
      if (!zep::ParseState(value, &out->options.state)) {
        std::fprintf(stderr, "upssim: unknown state \"%s\" (states: %s)\n",
                     value.c_str(), zep::StateNames().c_str());
        return false;
      }
    } else if (name == "--scenario") {
      out->scenario_path = value;
    } else if (name == "--log") {
      out->options.log_path = value;
    } else if (name == "--line-time") {
      if (value != "on" && value != "off") {
        std::fprintf(stderr, "upssim: --line-time takes on or off\n");
        return false;
      }
      out->options.line_time = value == "on";
    } else if (name == "--seed") {
      if (!ParseNumber(value, 0, 0x7FFFFFFF, &number)) {
        std::fprintf(stderr, "upssim: bad seed \"%s\"\n", value.c_str());
        return false;
      }
      out->options.seed = static_cast<uint32_t>(number);
    } else {
      std::fprintf(stderr, "upssim: unknown option \"%s\" (try --help)\n",
                   name.c_str());
      return false;
    }
  }
  return true;
}

std::string Status(const Simulator& sim) {
  const zep::SimCounters c = sim.Counters();
  return zep::FormatText(
      "status %s %s %d bps %s, answers %d, controls %d, ignored %d",
      zep::ProtocolName(sim.Protocol()), sim.ModelName().c_str(), sim.Baud(),
      zep::StateName(sim.State()), c.answers, c.controls, c.ignored);
}

// Carries out one scenario or standard-input action and reports it on
// standard output. Returns false for "quit".
bool Act(Simulator* sim, const std::string& line) {
  std::istringstream words(line);
  std::string word, argument, extra;
  words >> word >> argument >> extra;
  if (word.empty()) return true;
  if (word == zep::kQuit || word == "exit") return false;
  zep::SimState state;
  zep::SimProtocol protocol;
  long number = 0;
  if (!extra.empty()) {
    Say("error: unexpected \"" + extra + "\"");
  } else if (zep::ParseState(word, &state) && argument.empty()) {
    sim->SetState(state);
    Say("state " + word);
  } else if (word == zep::kRejectControls && argument.empty()) {
    sim->SetRejectControls(true);
    Say(word);
  } else if (word == zep::kAcceptControls && argument.empty()) {
    sim->SetRejectControls(false);
    Say(word);
  } else if ((word == zep::kCutAnswers || word == zep::kWholeAnswers) &&
             argument.empty()) {
    sim->SetCutAnswers(word == zep::kCutAnswers);
    Say(word);
  } else if (word == zep::kReplug && argument.empty()) {
    std::string error;
    if (sim->Replug(&error)) {
      Say("replug " + sim->DevicePath());
    } else {
      Say("error: " + error);
    }
  } else if (word == "protocol" && zep::ParseProtocol(argument, &protocol)) {
    sim->SetProtocol(protocol);
    Say("protocol " + argument + " model " + sim->ModelName());
  } else if (word == "baud" && ParseNumber(argument, 1, 4000000, &number)) {
    sim->SetBaud(static_cast<int>(number));
    Say("baud " + argument);
  } else if (word == "model" && sim->SetModel(argument)) {
    Say("model " + argument);
  } else if (word == "status" && argument.empty()) {
    Say(Status(*sim));
  } else {
    Say("error: unknown command \"" + line + "\"");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!ParseArguments(argc, argv, &args)) return 2;
  if (args.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::vector<zep::ScenarioStep> steps;
  std::string error;
  if (!args.scenario_path.empty() &&
      !zep::LoadScenario(args.scenario_path, &steps, &error)) {
    std::fprintf(stderr, "upssim: %s\n", error.c_str());
    return 2;
  }

  signal(SIGPIPE, SIG_IGN);
  if (pipe(g_signal_pipe) != 0) {
    std::perror("upssim: pipe");
    return 1;
  }
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Simulator sim(args.options);
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "upssim: %s\n", error.c_str());
    return 1;
  }

  std::atomic<bool> quit_asked{false};
  std::unique_ptr<zep::ScenarioPlayer> player;
  if (!steps.empty()) {
    player = std::make_unique<zep::ScenarioPlayer>(
        steps, zep::SystemClock(), [&](const zep::ScenarioStep& step) {
          sim.Log().Note(zep::FormatText("scenario line %d: %s", step.line,
                                         step.action.c_str()));
          if (!Act(&sim, step.action)) {
            quit_asked = true;
            WakeMainLoop();
          }
        });
  }

  Say(sim.DevicePath());
  Say("ready");
  if (player) player->Start();

  bool stdin_open = true;
  std::string input;
  while (!g_signalled && !quit_asked) {
    struct pollfd fds[2] = {{g_signal_pipe[0], POLLIN, 0},
                            {stdin_open ? 0 : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) <= 0) continue;
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char chunk[256];
    const ssize_t n = read(0, chunk, sizeof chunk);
    if (n <= 0) {
      // Standard input ended (or was never given): keep serving until a
      // signal or the scenario ends the run.
      stdin_open = false;
      continue;
    }
    input.append(chunk, static_cast<size_t>(n));
    size_t end;
    while ((end = input.find('\n')) != std::string::npos) {
      std::string line = input.substr(0, end);
      input.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!Act(&sim, line)) quit_asked = true;
    }
  }

  if (player) player->Stop();
  sim.Stop();
  Say("stopped");
  return 0;
}
