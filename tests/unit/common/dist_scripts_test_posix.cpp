// The shell scripts an installation ships, run the way the service runs them
// (/bin/sh <dir>/<name>.sh args) in a scratch copy of the installation, with
// ZEP_DRY_RUN=1, a stand-in zepe that answers with texts of its own and
// notes how it was called, and stand-ins for the shutdown commands in front
// of PATH, so that nothing here can switch the computer off. The expected
// log lines are written out by hand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "scratch_files.h"

extern char** environ;

namespace zep {
namespace {

namespace fs = std::filesystem;

constexpr int kLimitMs = 20000;  // Generous: only a failing test waits it out.

// Answers each option pair as zepe does (results joined by ",", a result
// with a blank in double quotes), from its own table: -o 1 Occurrence and
// -o 0 Release (which also picks the column of later -i), -l N "Level N",
// -i N "Event N begins" or "Event N ends", and for 777 a text with a comma.
constexpr char kStandInZepe[] =
    "#!/bin/sh\n"
    "{ printf 'zepe'; for a in \"$@\"; do printf ' [%s]' \"$a\"; done;"
    " printf '\\n'; } >>\"$(dirname \"$0\")/zepe.calls\"\n"
    "column=0 out= sep=\n"
    "while [ $# -ge 2 ]; do\n"
    "  case $1 in\n"
    "    -o) if [ \"$2\" = 0 ]; then r=Release column=1;"
    " else r=Occurrence column=0; fi ;;\n"
    "    -l) r=\"Level $2\" ;;\n"
    "    -i) if [ \"$2\" = 777 ]; then r='Overload, stage 2';"
    " elif [ $column = 0 ]; then r=\"Event $2 begins\";"
    " else r=\"Event $2 ends\"; fi ;;\n"
    "    *) r=$2 ;;\n"
    "  esac\n"
    "  case $r in *' '*) r=\"\\\"$r\\\"\" ;; esac\n"
    "  out=$out$sep$r sep=,\n"
    "  shift 2\n"
    "done\n"
    "printf '%s' \"$out\"\n";

// Stands in for systemctl and shutdown: notes the call.
constexpr char kStandInCommand[] =
    "#!/bin/sh\n"
    "echo \"$(basename \"$0\") $*\" >>\"$(dirname \"$0\")/../commands.txt\"\n";

const char* const kScripts[] = {
    "zeplib.sh",      "event.sh",     "status.sh",        "meter.sh",
    "powerfail.sh",   "emergency.sh", "powerrecovery.sh", "exec.sh",
    "temperature.sh", "overload.sh"};

class DistScriptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    const std::string bin = ExecutableDirectory();
    ASSERT_FALSE(bin.empty());
    for (const char* script : kScripts) {
      std::error_code error;
      fs::copy_file(bin + script, dir_.PathOf(script), error);
      ASSERT_FALSE(error) << script << ": " << error.message();
    }
    WriteExecutable("zepe", kStandInZepe);
    fs::create_directory(dir_.PathOf("stubs"));
    WriteExecutable("stubs/systemctl", kStandInCommand);
    WriteExecutable("stubs/shutdown", kStandInCommand);
  }

  void WriteExecutable(const std::string& name, const char* text) {
    dir_.Write(name, text);
    fs::permissions(dir_.PathOf(name), fs::perms::owner_all);
  }

  // The environment of a script: the test's own without any ZEP_ setting,
  // the stand-in commands first on PATH, ZEP_DRY_RUN=1 unless `dry_run` is
  // false, then `extra`.
  std::vector<std::string> Environment(const std::vector<std::string>& extra,
                                       bool dry_run) {
    std::vector<std::string> env;
    std::string path = "/usr/bin:/bin";
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      if (entry.compare(0, 4, "ZEP_") == 0) continue;
      if (entry.compare(0, 5, "PATH=") == 0) {
        path = entry.substr(5);
        continue;
      }
      env.push_back(entry);
    }
    env.push_back("PATH=" + dir_.PathOf("stubs") + ":" + path);
    if (dry_run) env.push_back("ZEP_DRY_RUN=1");
    for (const std::string& entry : extra) env.push_back(entry);
    return env;
  }

  pid_t Start(const std::string& script, const std::vector<std::string>& args,
              const std::vector<std::string>& extra = {}, bool dry_run = true) {
    std::vector<std::string> argv_text = {"/bin/sh", dir_.PathOf(script)};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<std::string> env_text = Environment(extra, dry_run);
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(),
                    envp.data()) != 0) {
      return -1;
    }
    return pid;
  }

  // The exit status, or -1 when the script had to be killed.
  int Wait(pid_t pid) {
    if (pid <= 0) return -1;
    for (int waited = 0; waited < kLimitMs; waited += 20) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) {
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }

  int Run(const std::string& script, const std::vector<std::string>& args,
          const std::vector<std::string>& extra = {}, bool dry_run = true) {
    return Wait(Start(script, args, extra, dry_run));
  }

  // A script claims a pending shutdown: the marker holds its name and
  // number (not the "done" of one that already shut down).
  bool ShutdownClaimed() {
    std::string marker = Read("shutdown.pending");
    return !marker.empty() && marker.find(" done") == std::string::npos;
  }
  template <typename Condition>
  bool WaitFor(Condition condition) {
    for (int waited = 0; waited < kLimitMs; waited += 20) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // Waits until a script waits to shut down: it has claimed the shutdown
  // and then logged its wait.
  bool WaitForPendingShutdown() {
    return WaitFor([this] {
      if (!ShutdownClaimed()) return false;
      std::vector<std::string> lines = LogLines();
      return !lines.empty() &&
             lines.back().find("shutdown in") != std::string::npos;
    });
  }

  std::string Read(const std::string& name) {
    std::ifstream in(dir_.PathOf(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The lines of zep.log without their time stamps, each of which must be
  // "YYYY/MM/DD HH:MM:SS ".
  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    std::istringstream in(Read("zep.log"));
    std::string line;
    const std::string shape = "0000/00/00 00:00:00 ";
    while (std::getline(in, line)) {
      bool stamped = line.size() > shape.size();
      for (size_t i = 0; stamped && i < shape.size(); ++i) {
        bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
        stamped = shape[i] == '0' ? digit : line[i] == shape[i];
      }
      lines.push_back(stamped ? line.substr(shape.size())
                              : "<no time stamp> " + line);
    }
    return lines;
  }

  ScratchDir dir_;
};

using Lines = std::vector<std::string>;

// Lines of scripts that run at the same time, in an order of their own.
Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

Lines Slice(const Lines& lines, size_t from, size_t to) {
  if (to > lines.size()) to = lines.size();
  if (from > to) from = to;
  return Lines(lines.begin() + from, lines.begin() + to);
}

TEST_F(DistScriptsTest, EventLineTakesItsTextsFromZepe) {
  EXPECT_EQ(0, Run("event.sh", {"1", "2", "3368"}));
  EXPECT_EQ(0, Run("event.sh", {"0", "3", "3880"}));
  // The event text comes last in zepe's line, so its comma stays in it.
  EXPECT_EQ(0, Run("event.sh", {"1", "2", "777"}));
  EXPECT_EQ((Lines{"[Level 2] Occurrence: Event 3368 begins (event 3368)",
                   "[Level 3] Release: Event 3880 ends (event 3880)",
                   "[Level 2] Occurrence: Overload, stage 2 (event 777)"}),
            LogLines());
  EXPECT_EQ(
      "zepe [-o] [1] [-l] [2] [-i] [3368]\n"
      "zepe [-o] [0] [-l] [3] [-i] [3880]\n"
      "zepe [-o] [1] [-l] [2] [-i] [777]\n",
      Read("zepe.calls"));
}

TEST_F(DistScriptsTest, EventValuesStandAsGivenWithoutZepeOrForOddArguments) {
  // Only plain numbers go to zepe; anything else is logged as it came, and
  // no text of an argument is ever run.
  EXPECT_EQ(0, Run("event.sh", {"-l", "2", "3368"}));
  EXPECT_EQ(0, Run("event.sh", {"1;touch hacked", "$(touch hacked)",
                                "`touch hacked` \"q\" 'q' *"}));
  EXPECT_EQ(0, Run("event.sh", {"010", "2", "3368"}));
  fs::remove(dir_.PathOf("zepe"));
  EXPECT_EQ(0, Run("event.sh", {"1", "2", "3368"}));
  EXPECT_EQ((Lines{"[2] -l: 3368 (event 3368)",
                   "[$(touch hacked)] 1;touch hacked: `touch hacked` \"q\" "
                   "'q' * (event `touch hacked` \"q\" 'q' *)",
                   "[2] 010: 3368 (event 3368)", "[2] 1: 3368 (event 3368)"}),
            LogLines());
  EXPECT_EQ("", Read("zepe.calls"));
  EXPECT_FALSE(fs::exists(dir_.PathOf("hacked")));
}

TEST_F(DistScriptsTest, StatusMeterTemperatureOverloadAndExecLines) {
  EXPECT_EQ(0, Run("status.sh", {"1", "100", "Start Service",
                                 "ZEP Version Information", "1.1.0.2"}));
  EXPECT_EQ(0, Run("status.sh", {"2", "21", "Caution", "Mains failure"}));
  EXPECT_EQ(0, Run("status.sh", {"1", "101", "Stop Service"}));
  EXPECT_EQ(0, Run("meter.sh", {"1500", "1500", "100", "101.0", "50.0", "100.0",
                                "50.0", "0.5", "35", "25.0", "27.5"}));
  // The service cuts the list at the first value it does not know yet.
  EXPECT_EQ(0, Run("meter.sh", {"1500", "1350", "100"}));
  EXPECT_EQ(0, Run("temperature.sh", {"1", "55.5", "35", "0.5"}));
  EXPECT_EQ(0, Run("temperature.sh", {"0", "25.0"}));
  EXPECT_EQ(0, Run("overload.sh", {"1", "115", "1.7", "25.0"}));
  EXPECT_EQ(0, Run("overload.sh", {"0", "35", "0.5", "25.0"}));
  EXPECT_EQ(0, Run("exec.sh", {}, {"ZEP_UPS_DELAY=2"}));
  EXPECT_EQ(
      (Lines{
          "status 1 100: Start Service | ZEP Version Information | 1.1.0.2",
          "status 2 21: Caution | Mains failure", "status 1 101: Stop Service",
          "meter: rated 1500 VA 1500 W 100 V | input 101.0 V 50.0 Hz | output "
          "100.0 V 50.0 Hz 0.5 kVA | load 35 % | temperature 25.0 C | battery "
          "27.5 V",
          "meter: rated 1500 VA 1350 W 100 V | input ? V ? Hz | output ? V ? "
          "Hz ? kVA | load ? % | temperature ? C | battery ? V",
          "temperature: high temperature began (temperature 55.5 C, load 35 "
          "%, output 0.5 kVA)",
          "temperature: high temperature ended (temperature 25.0 C, load ? %, "
          "output ? kVA)",
          "overload: overload began (load 115 %, output 1.7 kVA, temperature "
          "25.0 C)",
          "overload: overload ended (load 35 %, output 0.5 kVA, temperature "
          "25.0 C)",
          "exec: the computer shuts down; the UPS switches off in 2 min and "
          "restarts afterwards"}),
      LogLines());
}

TEST_F(DistScriptsTest, PowerFailAndEmergencyShutDownAfterTheirWait) {
  EXPECT_EQ(0, Run("powerfail.sh", {"35", "0.5", "25.0", "100", "1"}));
  EXPECT_EQ(0, Run("emergency.sh", {"35", "0.5", "25.0", "10", "1"}));
  // The last one to shut down says so in the marker; a recovery then finds
  // nothing waiting and clears it.
  EXPECT_EQ("emergency done\n", Read("shutdown.pending"));
  EXPECT_EQ(0, Run("powerrecovery.sh", {}));
  EXPECT_EQ(
      (Lines{"powerfail: mains failure; shutdown in 1 s unless the power "
             "returns (load 35 %, output 0.5 kVA, temperature 25.0 C, "
             "battery 100 %)",
             "powerfail: would shut down now (ZEP_DRY_RUN=1)",
             "emergency: battery low during a mains failure; shutdown in 1 s "
             "(load 35 %, output 0.5 kVA, temperature 25.0 C, battery 10 %)",
             "emergency: would shut down now (ZEP_DRY_RUN=1)",
             "powerrecovery: the power returned"}),
      LogLines());
  EXPECT_FALSE(fs::exists(dir_.PathOf("shutdown.pending")));
  EXPECT_EQ("", Read("commands.txt"));
}

TEST_F(DistScriptsTest, WithoutDryRunTheShutdownCommandRuns) {
  EXPECT_EQ(0, Run("emergency.sh", {"35", "0.5", "25.0", "10", "0"}, {},
                   /*dry_run=*/false));
  EXPECT_EQ((Lines{"emergency: battery low during a mains failure; shutdown "
                   "in 0 s (load 35 %, output 0.5 kVA, temperature 25.0 C, "
                   "battery 10 %)",
                   "emergency: shutting down now"}),
            LogLines());
  EXPECT_EQ("systemctl poweroff\n", Read("commands.txt"));
}

TEST_F(DistScriptsTest, RecoveryCancelsAPendingPowerFail) {
  pid_t powerfail = Start("powerfail.sh", {"35", "0.5", "25.0", "100", "60"});
  ASSERT_TRUE(WaitForPendingShutdown());
  EXPECT_EQ(0, Run("powerrecovery.sh", {}));
  EXPECT_EQ(0, Wait(powerfail));
  // Nothing pending any more: a second recovery only notes the power.
  EXPECT_EQ(0, Run("powerrecovery.sh", {}));
  Lines lines = LogLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(
      "powerfail: mains failure; shutdown in 60 s unless the power returns "
      "(load 35 %, output 0.5 kVA, temperature 25.0 C, battery 100 %)",
      lines[0]);
  EXPECT_EQ(Sorted({"powerrecovery: the power returned; the pending shutdown "
                    "is cancelled",
                    "powerfail: shutdown cancelled"}),
            Sorted(Slice(lines, 1, 3)));
  EXPECT_EQ("powerrecovery: the power returned", lines[3]);
}

TEST_F(DistScriptsTest, EmergencyTakesOverAPendingPowerFail) {
  pid_t powerfail = Start("powerfail.sh", {"35", "0.5", "25.0", "20", "60"});
  ASSERT_TRUE(WaitForPendingShutdown());
  pid_t emergency = Start("emergency.sh", {"35", "0.5", "25.0", "10", "2"});
  EXPECT_EQ(0, Wait(powerfail));
  EXPECT_EQ(0, Wait(emergency));
  Lines lines = LogLines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(
      "powerfail: mains failure; shutdown in 60 s unless the power returns "
      "(load 35 %, output 0.5 kVA, temperature 25.0 C, battery 20 %)",
      lines[0]);
  // The emergency claims the shutdown before it logs, so the powerfail may
  // see it and say so before the emergency's first line.
  EXPECT_EQ(Sorted({"emergency: battery low during a mains failure; shutdown "
                    "in 2 s (load 35 %, output 0.5 kVA, temperature 25.0 C, "
                    "battery 10 %)",
                    "powerfail: taken over by emergency",
                    "emergency: would shut down now (ZEP_DRY_RUN=1)"}),
            Sorted(Slice(lines, 1, 4)));
  EXPECT_EQ("emergency done\n", Read("shutdown.pending"));
}

TEST_F(DistScriptsTest, WaitFallsBackToTheSettingThenTheDefault) {
  // The list cut before the wait: the setting counts.
  EXPECT_EQ(0, Run("powerfail.sh", {"35"}, {"ZEP_PF_WAIT=1"}));
  // Not plain numbers (a leading zero, a word): the default.
  pid_t powerfail = Start("powerfail.sh", {"35", "0.5", "25.0", "100", "010"},
                          {"ZEP_PF_WAIT=soon"});
  ASSERT_TRUE(WaitForPendingShutdown());
  EXPECT_EQ(0, Run("powerrecovery.sh", {}));
  EXPECT_EQ(0, Wait(powerfail));
  pid_t emergency = Start("emergency.sh", {});
  ASSERT_TRUE(WaitForPendingShutdown());
  EXPECT_EQ(0, Run("powerrecovery.sh", {}));
  EXPECT_EQ(0, Wait(emergency));
  Lines lines = LogLines();
  ASSERT_EQ(8u, lines.size());
  EXPECT_EQ((Lines{"powerfail: mains failure; shutdown in 1 s unless the "
                   "power returns (load 35 %, output ? kVA, temperature ? C, "
                   "battery ? %)",
                   "powerfail: would shut down now (ZEP_DRY_RUN=1)",
                   "powerfail: mains failure; shutdown in 300 s unless the "
                   "power returns (load 35 %, output 0.5 kVA, temperature "
                   "25.0 C, battery 100 %)"}),
            Slice(lines, 0, 3));
  EXPECT_EQ(Sorted({"powerrecovery: the power returned; the pending shutdown "
                    "is cancelled",
                    "powerfail: shutdown cancelled"}),
            Sorted(Slice(lines, 3, 5)));
  EXPECT_EQ(
      "emergency: battery low during a mains failure; shutdown in 30 s (load "
      "? %, output ? kVA, temperature ? C, battery ? %)",
      lines[5]);
  EXPECT_EQ(Sorted({"powerrecovery: the power returned; the pending shutdown "
                    "is cancelled",
                    "emergency: shutdown cancelled"}),
            Sorted(Slice(lines, 6, 8)));
}

TEST_F(DistScriptsTest, TheShutdownIsClaimedBeforeAnythingIsLogged) {
  // zep.log as a pipe nobody reads: the script blocks on its first log line.
  // By then its shutdown must be pending, so that a recovery the service
  // starts right after it still finds the shutdown to cancel.
  const std::string log = dir_.PathOf("zep.log");
  ASSERT_EQ(0, mkfifo(log.c_str(), 0600));
  pid_t powerfail = Start("powerfail.sh", {"35", "0.5", "25.0", "100", "60"});
  // Not an ASSERT: reading the pipe below also frees a script that logs
  // first, so that the test ends without leaving it behind.
  EXPECT_TRUE(WaitFor([this] { return ShutdownClaimed(); }));
  // Take the line out of the pipe, then let later lines go to a file.
  int pipe = open(log.c_str(), O_RDONLY | O_NONBLOCK);
  if (pipe < 0) {
    kill(powerfail, SIGKILL);
    Wait(powerfail);
    FAIL() << "cannot open the log pipe";
  }
  std::string line;
  for (int waited = 0; waited < kLimitMs && line.find('\n') == line.npos;
       waited += 20) {
    char bytes[512];
    ssize_t got = read(pipe, bytes, sizeof bytes);
    if (got > 0) line.append(bytes, static_cast<size_t>(got));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  close(pipe);
  unlink(log.c_str());
  EXPECT_NE(std::string::npos,
            line.find("powerfail: mains failure; shutdown in 60 s"));
  EXPECT_EQ(0, Run("powerrecovery.sh", {}));
  EXPECT_EQ(0, Wait(powerfail));
  EXPECT_EQ(Sorted({"powerrecovery: the power returned; the pending shutdown "
                    "is cancelled",
                    "powerfail: shutdown cancelled"}),
            Sorted(LogLines()));
}

TEST_F(DistScriptsTest, ExecLogsTheDelayTheServiceUses) {
  // At most 99 minutes; the whole number at the start; below 0, no number
  // or not set: the service sends no command.
  const char* values[] = {"ZEP_UPS_DELAY=150", "ZEP_UPS_DELAY=007",
                          "ZEP_UPS_DELAY=12 min", "ZEP_UPS_DELAY=-1",
                          "ZEP_UPS_DELAY=soon"};
  for (const char* value : values) EXPECT_EQ(0, Run("exec.sh", {}, {value}));
  EXPECT_EQ(0, Run("exec.sh", {}));
  const std::string off =
      "exec: the computer shuts down; the UPS switches off in ";
  const std::string none =
      "exec: the computer shuts down; no UPS command is sent (ZEP_UPS_DELAY "
      "is not a number of 0 or more)";
  EXPECT_EQ((Lines{off + "99 min and restarts afterwards",
                   off + "7 min and restarts afterwards",
                   off + "12 min and restarts afterwards", none, none, none}),
            LogLines());
}

}  // namespace
}  // namespace zep
