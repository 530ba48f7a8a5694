// The texts the POSIX host gives systemd: the unit file and the notify
// messages, written out by hand.
#include "host/systemd_texts.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

TEST(SystemdTextsTest, UnitRunsTheServiceOptionFromItsDirectory) {
  EXPECT_EQ(
      "[Unit]\n"
      "Description=ZEP Service\n"
      "After=network.target\n"
      "\n[Service]\n"
      "Type=notify\n"
      "ExecStart=/opt/zep/zeps -service\n"
      "WorkingDirectory=/opt/zep\n"
      "Restart=on-failure\n"
      "KillMode=process\n"
      "\n[Install]\n"
      "WantedBy=multi-user.target\n",
      SystemdUnitText("ZEP Service", "/opt/zep/zeps", "-service", "/opt/zep"));
}

TEST(SystemdTextsTest, ExecWordsAreQuotedAndEscaped) {
  EXPECT_EQ("/opt/zep/zeps", SystemdExecWord("/opt/zep/zeps"));
  EXPECT_EQ("\"/opt/my zep/zeps\"", SystemdExecWord("/opt/my zep/zeps"));
  // Specifiers and variables are doubled so systemd does not expand them.
  EXPECT_EQ("/opt/100%%/$$HOME", SystemdExecWord("/opt/100%/$HOME"));
  EXPECT_EQ("\"/a\\\"b\\\\c\"", SystemdExecWord("/a\"b\\c"));
  EXPECT_EQ("\"/a;b\"", SystemdExecWord("/a;b"));
  std::string unit =
      SystemdUnitText("ZEP 100%", "/x y/zeps", "-service", "/x y");
  EXPECT_NE(std::string::npos, unit.find("Description=ZEP 100%%\n"));
  EXPECT_NE(std::string::npos, unit.find("ExecStart=\"/x y/zeps\" -service\n"));
  EXPECT_NE(std::string::npos, unit.find("WorkingDirectory=/x y\n"));
}

ServiceStatusValues Status(uint32_t state, uint32_t wait,
                           uint32_t exit_code = 0) {
  ServiceStatusValues values;
  values.current_state = state;
  values.wait_hint = wait;
  values.win32_exit_code = exit_code;
  return values;
}

TEST(SystemdTextsTest, NotifyMessagesFollowTheReportedState) {
  // Wait hints are milliseconds; systemd takes microseconds.
  EXPECT_EQ("EXTEND_TIMEOUT_USEC=1000000\nSTATUS=Start pending",
            NotifyMessage(Status(kServiceStartPending, 1000)));
  EXPECT_EQ("READY=1\nSTATUS=Running",
            NotifyMessage(Status(kServiceRunning, 0)));
  EXPECT_EQ("STOPPING=1\nEXTEND_TIMEOUT_USEC=3000000\nSTATUS=Stop pending",
            NotifyMessage(Status(kServiceStopPending, 3000)));
  EXPECT_EQ("STOPPING=1\nSTATUS=Stop pending",
            NotifyMessage(Status(kServiceStopPending, 0)));
  EXPECT_EQ("STATUS=Stopped", NotifyMessage(Status(kServiceStopped, 0)));
  EXPECT_EQ("ERRNO=12\nSTATUS=Stopped",
            NotifyMessage(Status(kServiceStopped, 0, 12)));
  EXPECT_EQ("STATUS=Paused", NotifyMessage(Status(kServicePaused, 0)));
}

TEST(SystemdTextsTest, ShutdownIsToldFromAPlainStopByTheJobQueue) {
  // A reboot: the shutdown target waits behind the stop of every service.
  EXPECT_TRUE(
      ShutdownJobQueued("1290 reboot.target           start waiting\n"
                        "1296 shutdown.target         start waiting\n"
                        "1301 zeps.service            stop  running\n"));
  EXPECT_TRUE(ShutdownJobQueued("  77 shutdown.target start waiting"));
  // "systemctl stop zeps": only the service's own job.
  EXPECT_FALSE(ShutdownJobQueued("1301 zeps.service stop running\n"));
  EXPECT_FALSE(ShutdownJobQueued(""));
  EXPECT_FALSE(ShutdownJobQueued("No jobs running.\n"));
  // Leaving the shutdown target (a stop job) is no shutdown.
  EXPECT_FALSE(ShutdownJobQueued("12 shutdown.target stop waiting\n"));
  EXPECT_FALSE(ShutdownJobQueued("12 shutdown.target\n"));
}

}  // namespace
}  // namespace zep
