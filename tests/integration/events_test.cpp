// A power failure end to end: the built zeps in console mode, started from a
// scratch installation with shell scripts that record how they were
// started, talks to the simulator on its pseudo-terminal (ZEP_PORT) on the
// service's fixed ports. The simulator's state changes reach the scripts;
// SIGQUIT (Ctrl+Break) during the failure runs the UPS shutdown and the
// simulator receives its command.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "service_harness.h"

namespace zep {
namespace {

namespace fs = std::filesystem;

// A scratch directory whose ZEP.conf names the device, with every script
// the service may start recording its line.
Installation EventsInstallation(const std::string& device) {
  Installation installation;
  installation.tag = "events";
  installation.recording_scripts = {"status",    "event",         "powerfail",
                                    "emergency", "powerrecovery", "temperature",
                                    "overload",  "meter",         "exec"};
  installation.settings = {"ZEP_PORT=" + device, "ZEP_MON_CYCLE=20",
                           "ZEP_EXEC_WAIT=1"};
  return installation;
}

TEST(EventsEndToEnd, PowerFailureEmergencyRecoveryAndTheUpsShutdown) {
  // The first speed the search tries.
  SimulatorRun ups(SimProtocol::kText, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  Simulator& sim = ups.sim;
  ServiceRun run(EventsInstallation(sim.DevicePath()));
  // Identified, polled once (the rated information follows the first pass
  // of values), and metered.
  ASSERT_TRUE(
      run.StartAndWaitForScript({"-debug"}, "status|1|120|Rated Information"));

  // On battery the simulator answers "QQ" with load 035, temperature 260
  // and output 005, and "&R" with the capacity 080 at the 11th character:
  // tag 172, tag 201 / 10, tag 88 / 10, the battery figure, and the
  // default wait.
  sim.SetState(SimState::kMainsFailure);
  EXPECT_EQ("event|1|2|3368", run.WaitForScript("event|1|2|3368"));
  EXPECT_EQ("powerfail|35|0.5|26.0|80|300", run.WaitForScript("powerfail"))
      << run.Stderr();

  // Battery low: the capacity falls to 010; the emergency wait is 30.
  sim.SetState(SimState::kBatteryLow);
  EXPECT_EQ("event|1|2|2177", run.WaitForScript("event|1|2|2177"));
  EXPECT_EQ("emergency|35|0.5|26.0|10|30", run.WaitForScript("emergency"));

  sim.SetState(SimState::kNormal);
  EXPECT_EQ("event|0|2|3368", run.WaitForScript("event|0|2|3368"));
  EXPECT_EQ("powerrecovery", run.WaitForScript("powerrecovery"));

  // Mains fails again, and the computer is told to shut down.
  sim.SetState(SimState::kMainsFailure);
  ASSERT_NE("", run.WaitForScript("powerfail", 2));
  EXPECT_EQ(0, run.CountScripts("exec"));
  run.Signal(SIGQUIT);
  EXPECT_EQ("status|1|103|Start to Shutdown",
            run.WaitForScript("status|1|103"));
  EXPECT_EQ("exec", run.WaitForScript("exec"));
  EXPECT_TRUE(WaitUntil(
      [&] { return sim.Counters().last_control_text == "S02R00001\r"; },
      kBlackBoxWaitMs, kBlackBoxPollMs))
      << "last control: " << sim.Counters().last_control_text;

  // Ctrl+Break leaves the service running; Ctrl+C ends it.
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_NE("", run.WaitForScript("status|1|101|Stop Service"));
  // The meter thread echoed the values on the console.
  EXPECT_NE(std::string::npos, run.Stdout().find("[ 88:25.0] "));
  sim.Stop();
}

TEST(EventsEndToEnd, ShutdownWithMainsPresentLeavesTheUpsAlone) {
  SimulatorRun ups(SimProtocol::kText, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  Simulator& sim = ups.sim;
  ServiceRun run(EventsInstallation(sim.DevicePath()));
  ASSERT_TRUE(
      run.StartAndWaitForScript({"-debug"}, "status|1|120|Rated Information"));

  run.Signal(SIGQUIT);
  // The hook's report shows the request arrived; nothing else follows.
  EXPECT_TRUE(run.WaitForTrace("dwWait:3000"));
  PauseMs(1500);
  EXPECT_EQ(0, run.CountScripts("exec"));
  EXPECT_EQ(0, run.CountScripts("status|1|103"));
  EXPECT_EQ("", sim.Counters().last_control_text);
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  sim.Stop();
}

// A stand-in for systemctl on the PATH of the service: it answers
// "is-system-running" with `state` and "list-jobs" with `jobs`.
void WriteSystemctl(const fs::path& dir, const std::string& state,
                    const std::string& jobs) {
  fs::create_directories(dir);
  {
    std::ofstream script(dir / "systemctl");
    script << "#!/bin/sh\n"
           << "case \"$1\" in\n"
           << "  is-system-running) echo '" << state << "' ;;\n"
           << "  list-jobs) printf '%s' '" << jobs << "' ;;\n"
           << "esac\n";
  }
  fs::permissions(dir / "systemctl", fs::perms::owner_all,
                  fs::perm_options::add);
}

// Under systemd, SIGTERM is a plain stop unless the computer is shutting
// down; only then does the UPS shutdown run (with no UPS found yet, all of
// it), before the stop.
TEST(EventsEndToEnd, SigtermUnderSystemdRunsTheUpsShutdownOnlyAtShutdown) {
  struct Case {
    const char* state;
    const char* jobs;
    bool shutdown;
  };
  const Case cases[] = {
      {"running", "", false},
      {"stopping", "", true},
      // A shutdown before the boot has finished.
      {"starting", "  9 shutdown.target start waiting\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    // No UPS will be found.
    ServiceRun run(EventsInstallation("/nonexistent/zep-tty"));
    WriteSystemctl(run.dir() / "fakebin", c.state, c.jobs);
    // Bound but never read.
    NotifyListener notify(run.dir() / "notify.sock");
    ASSERT_TRUE(notify.bound());
    const char* path = std::getenv("PATH");
    ASSERT_TRUE(run.Start(
        {"-service"}, {"NOTIFY_SOCKET=" + (run.dir() / "notify.sock").string(),
                       "PATH=" + (run.dir() / "fakebin").string() + ":" +
                           (path != nullptr ? path : "/usr/bin:/bin")}));
    ASSERT_NE("", run.WaitForScript("status|1|100|Start Service"));
    run.Signal(SIGTERM);
    EXPECT_EQ(0, run.WaitExit());
    // The stop record's script may still be writing when the service is
    // gone.
    run.WaitForScript("status|1|101|Stop Service");
    std::vector<std::string> scripts = run.Scripts();
    ASSERT_FALSE(scripts.empty());
    EXPECT_EQ("status|1|101|Stop Service", scripts.back());
    if (c.shutdown) {
      // Both before the stop; started together, they may log either way.
      ASSERT_GE(scripts.size(), 3u);
      std::vector<std::string> last(scripts.end() - 3, scripts.end() - 1);
      std::sort(last.begin(), last.end());
      EXPECT_EQ(
          (std::vector<std::string>{"exec", "status|1|103|Start to Shutdown"}),
          last);
    } else {
      EXPECT_EQ(0, run.CountScripts("exec"));
      EXPECT_EQ(0, run.CountScripts("status|1|103"));
    }
  }
}

}  // namespace
}  // namespace zep
