// The built zeps as a black box: started from a scratch installation
// beside libserlink32.so and a status.sh that records every status record,
// on the service's fixed ports (these tests never run in parallel with
// others that use them), stopped by PID with signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "process.h"
#include "service_harness.h"

namespace zep {
namespace {

constexpr char kUsage[] =
    "zeps -setup  to setup the event message\n"
    "zeps -remove to remove the event message\n";

// Records the count of its arguments, each argument, and the notify socket
// it inherited, in status.log, in one write so that records made at the
// same moment do not mix.
constexpr char kStatusScript[] =
    "#!/bin/sh\n"
    "line=\"$#\"; for a in \"$@\"; do line=\"$line|$a\"; done\n"
    "echo \"$line|notify=${NOTIFY_SOCKET:-none}\""
    " >> \"$(dirname \"$0\")/status.log\"\n";

Installation HostInstallation() {
  Installation installation;
  installation.tag = "host";
  installation.scripts["status"] = kStatusScript;
  installation.wait_ms = 30000;
  return installation;
}

// A run of a host installation with the status log read from it. The
// installation has neither ZEP.conf nor message files, which the service
// reports as problem records (code 130) at every start; those scripts run
// beside the start record in no fixed order, so the log shows them apart.
class HostRun : public ServiceRun {
 public:
  HostRun() : ServiceRun(HostInstallation()) {}
  std::string StatusLog() const { return Lines(false); }
  std::string ProblemRecords() const { return Lines(true); }
  // The stop record's script is started, not waited for, so it may still
  // be writing when the service has gone: the log is read once it came.
  std::string StatusLogAfterStop() {
    WaitForStatus("Stop Service");
    return StatusLog();
  }
  bool WaitForStatus(const std::string& text) {
    return WaitForText("status.log", text);
  }

 private:
  std::string Lines(bool problems) const {
    std::string kept;
    for (const std::string& line : SplitLines(ReadFile("status.log"))) {
      bool problem = line.rfind("5|2|130|", 0) == 0;
      if (problem == problems) kept += line + "\n";
    }
    return kept;
  }
};

constexpr char kStarted[] =
    "4|1|100|Start Service|ZEPVersion Information|notify=none\n";
constexpr char kStopped[] = "3|1|101|Stop Service|notify=none\n";

TEST(ServiceHostBlackBox, DebugRunsSixWorkersAndStopsInOrderOnCtrlC) {
  HostRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service")) << run.Stderr();
  for (int port = 60059; port >= 60054; --port)
    EXPECT_TRUE(LoopbackPortTaken(port)) << port;
  EXPECT_FALSE(LoopbackPortTaken(60053));
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLogAfterStop());
  // What the installation lacks is said once each.
  ASSERT_TRUE(run.WaitForStatus("|ZEP.conf|"));
  ASSERT_TRUE(run.WaitForStatus("|Message files|"));
  std::string problems = run.ProblemRecords();
  EXPECT_EQ(2u, SplitLines(problems).size()) << problems;
  EXPECT_NE(std::string::npos,
            problems.find("5|2|130|Installation problem|ZEP.conf|cannot be "
                          "opened (No such file or directory); the built-in "
                          "settings apply|"));
  EXPECT_NE(std::string::npos,
            problems.find("5|2|130|Installation problem|Message files|"));
  EXPECT_NE(std::string::npos, problems.find("; the built-in texts are used|"));
  EXPECT_EQ("", run.Stdout());
  for (int port = 60059; port >= 60054; --port)
    EXPECT_FALSE(LoopbackPortTaken(port)) << port;
  // The last report is "stopped".
  std::string trace = run.Stderr();
  EXPECT_NE(std::string::npos,
            trace.rfind("ServiceStatusUpdate - dwState:00000001 "
                        "dwExitCode:00000000 dwWait:0\r\n"));
}

TEST(ServiceHostBlackBox, HeldPortMovesTheLaterWorkersOneDown) {
  ForeignSocket holder(60058);
  ASSERT_TRUE(holder.bound());
  HostRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  for (int port : {60059, 60057, 60056, 60055, 60054, 60053}) {
    EXPECT_TRUE(LoopbackPortTaken(port)) << port;
  }
  EXPECT_FALSE(LoopbackPortTaken(60052));
  // SIGTERM stops it as Ctrl+C does.
  run.Signal(SIGTERM);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLogAfterStop());
}

TEST(ServiceHostBlackBox, CtrlBreakRunsTheShutdownHookAndKeepsRunning) {
  HostRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  run.Signal(SIGQUIT);
  ASSERT_TRUE(
      run.WaitForTrace("dwState:00000003 dwExitCode:00000000 dwWait:3000\r\n"));
  // No UPS was identified, so the shutdown sequence runs and says so.
  ASSERT_TRUE(run.WaitForStatus("Start to Shutdown"));
  EXPECT_TRUE(run.Running());
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + "3|1|103|Start to Shutdown|notify=none\n" +
                kStopped,
            run.StatusLogAfterStop());
}

TEST(ServiceHostBlackBox, DatagramsFromOtherProgramsDoNotStopIt) {
  HostRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  ForeignSocket sender;
  for (int port = 60059; port >= 60054; --port) {
    sender.SendTo(port, std::string("\x85\x01\xff", 3));
    sender.SendTo(port, std::string(4000, '\x8f'));  // longer than any buffer
    sender.SendTo(port, "");  // empty, not the stop signal
  }
  // A flood of two seconds on every internal port leaves a few trace lines
  // per port, then one a second and the count of those left out: at most
  // 5 + 2 + 1 drops and 3 counts per port, 66 in all.
  const int64_t flood_end = MonotonicMilliseconds() + 2000;
  int sent = 0;
  while (MonotonicMilliseconds() < flood_end) {
    for (int port = 60059; port >= 60054; --port) {
      if (port != 60055) sender.SendTo(port, "\x85\x01\x2d\x28");
    }
    ++sent;
  }
  PauseMs(500);
  EXPECT_TRUE(run.Running());
  for (int port = 60059; port >= 60054; --port)
    EXPECT_TRUE(LoopbackPortTaken(port)) << port;
  EXPECT_EQ(kStarted, run.StatusLog());
  int lines = 0;
  for (const std::string& line : SplitLines(run.Stderr())) {
    lines += line.find("UDP 600") != std::string::npos ||
             line.find("similar trace lines left out") != std::string::npos;
  }
  EXPECT_GT(sent, 1000);
  EXPECT_GE(lines, 5);
  EXPECT_LE(lines, 66);
  // A hang-up from outside (the terminal went away) ends it in order like
  // Ctrl+C, although the host also sends that signal to its own watcher
  // thread to end the watcher.
  run.Signal(SIGHUP);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLogAfterStop());
}

TEST(ServiceHostBlackBox, WithoutARunModeItPrintsTheUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"debug"}, {"-unknown"}}) {
    HostRun run;
    ASSERT_TRUE(run.Start(args));
    EXPECT_EQ(1, run.WaitExit());
    EXPECT_EQ(kUsage, run.Stdout());
    EXPECT_EQ("", run.StatusLog());
  }
}

TEST(ServiceHostBlackBox, ServiceOptionByHandFailsLikeTheDispatcher) {
  HostRun run;
  ASSERT_TRUE(run.Start({"-service"}));
  EXPECT_EQ(1, run.WaitExit());
  EXPECT_EQ(kUsage, run.Stdout());
  EXPECT_EQ("", run.StatusLog());
}

TEST(ServiceHostBlackBox, SetupAndRemoveFailWithoutSystemd) {
  if (access("/run/systemd/system", F_OK) == 0 && geteuid() == 0) {
    GTEST_SKIP() << "this machine runs systemd as root: not touching its units";
  }
  for (const char* option : {"-setup", "-remove"}) {
    HostRun run;
    ASSERT_TRUE(run.Start({option}));
    EXPECT_EQ(1, run.WaitExit()) << option;
    EXPECT_EQ(kUsage, run.Stdout()) << option;
  }
}

TEST(ServiceHostBlackBox, ServiceModeSpeaksTheNotifyProtocol) {
  HostRun run;
  NotifyListener listener(run.dir() / "notify.sock");
  ASSERT_TRUE(listener.bound());
  ASSERT_TRUE(run.Start(
      {"-service"}, {"NOTIFY_SOCKET=" + (run.dir() / "notify.sock").string()}));
  std::vector<std::string> start = listener.ReadUntil("READY=1");
  ASSERT_FALSE(start.empty());
  EXPECT_EQ("READY=1\nSTATUS=Running", start.back());
  EXPECT_EQ("EXTEND_TIMEOUT_USEC=1000000\nSTATUS=Start pending", start.front());
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  // systemd stops a unit with SIGTERM.
  run.Signal(SIGTERM);
  std::vector<std::string> stop = listener.ReadUntil("STATUS=Stopped");
  ASSERT_FALSE(stop.empty());
  EXPECT_EQ("STOPPING=1\nEXTEND_TIMEOUT_USEC=1000000\nSTATUS=Stop pending",
            stop.front());
  EXPECT_EQ("STATUS=Stopped", stop.back());
  EXPECT_EQ(0, run.WaitExit());
  // The scripts do not inherit the notify socket.
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLogAfterStop());
  EXPECT_EQ("", run.Stdout());
}

TEST(ServiceHostBlackBox, ManagerThatDoesNotReadCannotHoldUpTheStop) {
  HostRun run;
  // Bound but never read: the socket's queue fills after a few reports.
  NotifyListener listener(run.dir() / "notify.sock");
  ASSERT_TRUE(listener.bound());
  ASSERT_TRUE(run.Start(
      {"-service"}, {"NOTIFY_SOCKET=" + (run.dir() / "notify.sock").string()}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  run.Signal(SIGTERM);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLogAfterStop());
}

}  // namespace
}  // namespace zep
