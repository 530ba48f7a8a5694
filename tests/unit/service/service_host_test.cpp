// The host's rules, in-process: checkpoints and accepted controls, what each
// control and console event does (report, hook, stop event), and the
// sequence of reports of a whole run. Wine's service manager never delivers
// the shutdown and preshutdown controls, so this is where that path is
// checked. Records are written "state/wait/checkpoint/controls": running
// accepts stop (1) and shutdown (4), so 5; start pending 1; stop pending and
// stopped 0.
#include "host/service_host.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host_recorders.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

TEST(StatusRulesTest, CheckpointCountsRepeatsAndRestartsWithEachNewState) {
  ServiceStatusRecord record;  // a new record: stopped
  Strings seen;
  auto report = [&](uint32_t state, uint32_t exit_code, uint32_t wait) {
    ApplyStatusReport(record, state, exit_code, wait);
    seen.push_back(Brief(record.Values()) + " e" +
                   std::to_string(record.win32_exit_code.load()));
  };
  report(kServiceStartPending, 0, 1000);  // new state with a wait: 1
  report(kServiceStartPending, 0, 1000);  // same state: +1
  report(kServiceRunning, 0, 0);          // new state without a wait: 0
  report(kServiceRunning, 0, 0);          // same state raises even with wait 0
  report(kServiceStopPending, 0, 1000);
  report(kServiceStopPending, 0, 3000);
  report(kServiceStopPending, 0, 3000);
  report(kServiceStopped, 0, 0);
  report(kServiceStopped, 1066, 0);
  EXPECT_EQ((Strings{"2/1000/1/1 e0", "2/1000/2/1 e0", "4/0/0/5 e0",
                     "4/0/1/5 e0", "3/1000/1/0 e0", "3/3000/2/0 e0",
                     "3/3000/3/0 e0", "1/0/0/0 e0", "1/0/1/0 e1066"}),
            seen);
  EXPECT_EQ(kServiceOwnProcess, record.service_type.load());
}

TEST(StatusRulesTest, AcceptedControlsByState) {
  EXPECT_EQ(0u, ControlsAcceptedFor(kServiceStopped));
  EXPECT_EQ(0u, ControlsAcceptedFor(kServiceStopPending));
  EXPECT_EQ(1u, ControlsAcceptedFor(kServiceStartPending));
  EXPECT_EQ(1u, ControlsAcceptedFor(kServiceContinuePending));
  EXPECT_EQ(1u, ControlsAcceptedFor(kServicePausePending));
  EXPECT_EQ(1u, ControlsAcceptedFor(kServicePaused));
  EXPECT_EQ(5u, ControlsAcceptedFor(kServiceRunning));
  EXPECT_EQ(5u, ControlsAcceptedFor(0));
  EXPECT_EQ(5u, ControlsAcceptedFor(99));
}

TEST(StatusRulesTest, ReportsGoToTheSinkAndAFailedSendIsKept) {
  HostState host;
  ReportServiceStatus(host, kServiceStartPending, 0, 1000);  // console: no sink
  EXPECT_EQ("2/1000/1/1", Brief(host.status.Values()));

  RecordingSink sink;
  host.status_sink.store(&sink);
  ReportServiceStatus(host, kServiceRunning, 0, 0);
  sink.FailWith(6);  // ERROR_INVALID_HANDLE
  ReportServiceStatus(host, kServiceRunning, 0, 0);
  EXPECT_EQ(6u, host.status.win32_exit_code.load());
  sink.FailWith(0);
  ReportServiceStatus(host, kServiceStopPending, 0, 1000);
  EXPECT_EQ(0u, host.status.win32_exit_code.load());
  EXPECT_EQ((Strings{"4/0/0/5", "4/0/1/5", "3/1000/1/0"}), Briefs(sink.Sent()));
}

// Hooks are plain functions; they log to the test's log.
EventLog* g_log = nullptr;
HostState* g_host = nullptr;

int StopHook() {
  g_log->Add("stop hook");
  return 0;
}
int ShutdownHook() {
  g_log->Add("shutdown hook");
  return 1;
}
int RunHook(ManualResetEvent* stop_event) {
  bool live =
      stop_event == &g_host->stop_event && g_host->stop_event_exists.load();
  g_log->Add(live ? "run hook, stop event live" : "run hook, no stop event");
  return 1;
}

class ControlHandlerTest : public ::testing::Test {
 protected:
  ControlHandlerTest() : sink_(&log_) {
    g_log = &log_;
    g_host = &host_;
    host_.descriptor.stop_hook = &StopHook;
    host_.descriptor.shutdown_hook = &ShutdownHook;
    host_.status_sink.store(&sink_);
    // As while RunServiceWorker runs.
    host_.stop_event_exists.store(true);
    ReportServiceStatus(host_, kServiceRunning, 0, 0);
  }
  ~ControlHandlerTest() override {
    g_log = nullptr;
    g_host = nullptr;
  }

  EventLog log_;
  RecordingSink sink_;
  HostState host_;
};

TEST_F(ControlHandlerTest, StopReportsThenCallsTheStopHookThenSetsTheEvent) {
  ServiceControlHandler(host_, kControlStop);
  EXPECT_EQ((Strings{"status 4/0/0/5", "status 3/1000/1/0", "stop hook"}),
            log_.Entries());
  EXPECT_TRUE(host_.stop_event.IsSet());
}

TEST_F(ControlHandlerTest, ShutdownAndPreshutdownRunTheShutdownHook) {
  for (uint32_t control : {kControlShutdown, kControlPreshutdown}) {
    host_.stop_event.Reset();
    ServiceControlHandler(host_, control);
    EXPECT_TRUE(host_.stop_event.IsSet()) << control;
  }
  // The second request finds stop pending already: the checkpoint goes on.
  EXPECT_EQ((Strings{"status 4/0/0/5", "status 3/3000/1/0", "shutdown hook",
                     "status 3/3000/2/0", "shutdown hook"}),
            log_.Entries());
}

TEST_F(ControlHandlerTest, OtherControlsResendTheRecordUnchanged) {
  for (uint32_t control : {kControlInterrogate, 2u, 128u}) {
    ServiceControlHandler(host_, control);
  }
  // Sent again as it stands: no new checkpoint, no hook, no stop.
  EXPECT_EQ((Strings{"status 4/0/0/5", "status 4/0/0/5", "status 4/0/0/5",
                     "status 4/0/0/5"}),
            log_.Entries());
  EXPECT_FALSE(host_.stop_event.IsSet());
}

TEST_F(ControlHandlerTest, AbsentHookIsSkippedAndAMissingEventIsNotSet) {
  host_.descriptor.stop_hook = nullptr;
  ServiceControlHandler(host_, kControlStop);
  EXPECT_TRUE(host_.stop_event.IsSet());
  EXPECT_EQ(-1, log_.IndexOf("stop hook"));

  // Outside RunServiceWorker there is no stop event to set.
  host_.stop_event.Reset();
  host_.stop_event_exists.store(false);
  ServiceControlHandler(host_, kControlShutdown);
  EXPECT_FALSE(host_.stop_event.IsSet());
  EXPECT_EQ(1, log_.Count("shutdown hook"));
}

TEST_F(ControlHandlerTest, ConsoleStopEventsStopAndBreakEventsOnlyShutDown) {
  // A present stop hook is called.
  EXPECT_TRUE(ConsoleControlHandler(host_, kConsoleCtrlC));
  EXPECT_EQ(1, log_.Count("stop hook"));
  EXPECT_TRUE(host_.stop_event.IsSet());
  host_.descriptor.stop_hook = nullptr;  // as in console mode
  for (uint32_t event : {kConsoleCtrlC, kConsoleClose}) {
    host_.stop_event.Reset();
    EXPECT_TRUE(ConsoleControlHandler(host_, event)) << event;
    EXPECT_TRUE(host_.stop_event.IsSet()) << event;
  }
  EXPECT_EQ(0, log_.Count("shutdown hook"));
  for (uint32_t event : {kConsoleBreak, kConsoleLogoff, kConsoleShutdown}) {
    host_.stop_event.Reset();
    EXPECT_TRUE(ConsoleControlHandler(host_, event)) << event;
    EXPECT_FALSE(host_.stop_event.IsSet()) << event;
  }
  EXPECT_EQ(3, log_.Count("shutdown hook"));
  for (uint32_t event : {3u, 4u, 7u}) {
    EXPECT_FALSE(ConsoleControlHandler(host_, event)) << event;
  }
  EXPECT_FALSE(host_.stop_event.IsSet());
  // The console handler reports nothing itself.
  EXPECT_EQ(1, static_cast<int>(sink_.Sent().size()));
}

TEST(RunServiceWorkerTest, RunHookGetsTheLiveStopEventBetweenStartAndStopped) {
  EventLog log;
  RecordingSink sink(&log);
  HostState host;
  g_log = &log;
  g_host = &host;
  host.descriptor.run_hook = &RunHook;
  host.status_sink.store(&sink);
  RunServiceWorker(host);
  EXPECT_EQ((Strings{"status 2/1000/1/1", "run hook, stop event live",
                     "status 1/0/0/0"}),
            log.Entries());
  EXPECT_FALSE(host.stop_event_exists.load());
  g_log = nullptr;
  g_host = nullptr;
}

TEST(RunServiceWorkerTest, WithoutRunHookRunsUntilStopped) {
  EventLog log;
  RecordingSink sink(&log);
  HostState host;
  host.status_sink.store(&sink);
  std::thread service([&] { RunServiceWorker(host); });
  ASSERT_TRUE(log.WaitFor("status 4/0/0/5"));
  ServiceControlHandler(host, kControlStop);
  service.join();
  EXPECT_EQ((Strings{"status 2/1000/1/1", "status 4/0/0/5", "status 3/1000/1/0",
                     "status 1/0/0/0"}),
            log.Entries());
}

}  // namespace
}  // namespace zep
