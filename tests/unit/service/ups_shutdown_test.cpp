// The UPS shutdown with a fake clock: the command that reaches an internal
// endpoint standing for the monitor, the limits of the settings, when the
// sequence runs at all, and the stop-pending reports it makes while it
// waits. With reports every 500 ms and the wait timed from the start, a
// wait of w seconds gives reports at 500, 1000, ... until the first one
// past w x 1000 ms: 2w + 1 reports.
#include "link/ups_shutdown.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "../common/scratch_files.h"
#include "config.h"
#include "host/service_host.h"
#include "host/worker_table.h"
#include "host_recorders.h"
#include "test_context.h"
#include "test_endpoint.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

constexpr char kShutdownRecord[] = "status.bat|1|103|Start to Shutdown";

class UpsShutdownTest : public ::testing::Test {
 protected:
  UpsShutdownTest()
      : settings_({"ZEP_UPS_DELAY", "ZEP_UPS_RESTART", "ZEP_EXEC_WAIT",
                   "ZEP_LANG", "ZEP_VERSION"}),
        sink_scope_(&sink_),
        records_(kWithLauncher | kWithMessages | kWithMonitor | kWithClock,
                 1700000000),
        monitor_endpoint_(47355) {
    monitor_endpoint_.endpoint()->internal_only = true;
    records_.SetPort(kMonitorSlot, monitor_endpoint_.port());
  }

  void SetUp() override { ASSERT_TRUE(monitor_endpoint_.opened()); }

  // The settings as a full load puts them when ZEP.conf names none.
  void LoadDefaults() {
    ScratchDir dir;
    LoadServiceConfigurationFrom(dir.PathOf("ZEP.conf"), true, CodePageFacts());
  }
  void Set(const std::string& key, const std::string& value) {
    PutEnvironmentText((key + "=" + value).c_str());
  }
  void Identify(const char* model) {
    std::atomic<char>* text = records_.monitor.model_text;
    for (size_t i = 0; i < kModelTextSize; ++i) text[i] = 0;
    for (size_t i = 0; model[i] != '\0' && i + 1 < kModelTextSize; ++i) {
      text[i].store(model[i]);
    }
  }
  // What reached the monitor's endpoint ("" when nothing came in `ms`).
  std::string Received(int ms = 5000) { return monitor_endpoint_.Receive(ms); }
  std::vector<uint32_t> WaitHints() {
    std::vector<uint32_t> hints;
    for (const ServiceStatusValues& v : sink_.Sent()) {
      EXPECT_EQ(kServiceStopPending, v.current_state);
      hints.push_back(v.wait_hint);
    }
    return hints;
  }
  static std::vector<uint32_t> Hints(uint32_t first, int thousands) {
    std::vector<uint32_t> hints;
    if (first != 0) hints.push_back(first);
    hints.insert(hints.end(), static_cast<size_t>(thousands), 1000);
    return hints;
  }

  EnvironmentGuard settings_;
  RecordingSink sink_;
  ProcessSinkScope sink_scope_;
  TestContext records_;
  TestEndpoint monitor_endpoint_;
};

TEST_F(UpsShutdownTest, DefaultsSendTheCommandAndReportEveryHalfSecond) {
  LoadDefaults();
  records_.context.ups_shutdown_sequence = &UpsShutdown;
  // Through the shutdown hook, which reports its own 3000 first.
  EXPECT_EQ(1, ShutdownService(records_.context));
  EXPECT_EQ("S02R00001\r", Received());
  EXPECT_EQ(records_.launcher.Runs(), (Strings{kShutdownRecord, "exec.bat"}));
  std::vector<uint32_t> expected = {3000, 5000};
  expected.insert(expected.end(), 11, 1000);
  EXPECT_EQ(expected, WaitHints());
  // The wait plus half a second.
  EXPECT_EQ(1700000000 * 1000LL + 5500, records_.clock.NowMilliseconds());
}

TEST_F(UpsShutdownTest, SettingsAreKeptWithinTheirFields) {
  struct Case {
    const char* delay;
    const char* restart;
    const char* command;
  };
  const Case cases[] = {
      {"150", "-5", "S99R00000\r"},
      {"0", "100", "S00R00099\r"},
      {"99", "99", "S99R00099\r"},
      {"7", "", "S07R00000\r"},  // restart unset
  };
  Set("ZEP_EXEC_WAIT", "1");
  for (const Case& c : cases) {
    Set("ZEP_UPS_DELAY", c.delay);
    Set("ZEP_UPS_RESTART", c.restart);
    UpsShutdown(records_.context);
    EXPECT_EQ(c.command, Received()) << c.delay << " " << c.restart;
  }
}

TEST_F(UpsShutdownTest, NegativeOrUnsetDelaySendsNothingButStillRunsAndWaits) {
  for (const char* delay : {"-1", ""}) {
    Set("ZEP_UPS_DELAY", delay);
    Set("ZEP_EXEC_WAIT", "2");
    EXPECT_EQ(1, UpsShutdown(records_.context));
    EXPECT_EQ("", Received(300)) << delay;
  }
  EXPECT_EQ(records_.launcher.Runs(), (Strings{kShutdownRecord, "exec.bat",
                                               kShutdownRecord, "exec.bat"}));
  std::vector<uint32_t> expected = Hints(2000, 5);
  std::vector<uint32_t> twice = expected;
  twice.insert(twice.end(), expected.begin(), expected.end());
  EXPECT_EQ(twice, WaitHints());
}

TEST_F(UpsShutdownTest, WaitIsKeptBetweenOneAndTenSeconds) {
  struct Case {
    const char* wait;
    std::vector<uint32_t> hints;
  };
  const Case cases[] = {
      {"1", Hints(0, 3)},  // no long report for a wait of 1
      {"0", Hints(0, 3)},  // raised to 1
      {"", Hints(0, 3)},   // unset: 1
      {"3", Hints(3000, 7)}, {"20", Hints(10000, 21)},  // lowered to 10
  };
  Set("ZEP_UPS_DELAY", "-1");
  for (const Case& c : cases) {
    RecordingSink sink;
    ProcessSinkScope scope(&sink);
    Set("ZEP_EXEC_WAIT", c.wait);
    UpsShutdown(records_.context);
    std::vector<uint32_t> hints;
    for (const ServiceStatusValues& v : sink.Sent()) {
      hints.push_back(v.wait_hint);
    }
    EXPECT_EQ(c.hints, hints) << "wait " << c.wait;
  }
}

TEST_F(UpsShutdownTest, RunsUnlessAnIdentifiedUpsHasTheMains) {
  LoadDefaults();
  Set("ZEP_EXEC_WAIT", "1");
  struct Case {
    const char* model;
    int power_fail;
    bool runs;
  };
  const Case cases[] = {
      {"", 0, true},  // no UPS identified yet
      {"", 1, true},
      {"T-PWR15J1", 1, true},
      {"T-PWR15J1", 0, false},  // an ordinary shutdown
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.model << " " << c.power_fail);
    RecordingLauncher launcher;
    RecordingSink sink;
    ProcessSinkScope scope(&sink);
    records_.context.launcher = &launcher;
    Identify(c.model);
    records_.monitor.power_fail_active.store(c.power_fail);
    EXPECT_EQ(c.runs, UpsShutdownWanted(records_.context));
    EXPECT_EQ(c.runs ? 1 : 0, UpsShutdown(records_.context));
    if (c.runs) {
      EXPECT_EQ("S02R00001\r", Received());
      EXPECT_EQ(launcher.Runs(), (Strings{kShutdownRecord, "exec.bat"}));
    } else {
      EXPECT_EQ("", Received(300));
      EXPECT_TRUE(launcher.Runs().empty());
      EXPECT_TRUE(sink.Sent().empty());
    }
  }
}

// Other computers on the UPS that leave after a number of looks, counted
// on the fake clock.
class LeavingPeers : public ShutdownPeers {
 public:
  LeavingPeers(FakeClock* clock, int64_t leave_at_ms, int limit_ms)
      : clock_(clock), leave_at_ms_(leave_at_ms), limit_ms_(limit_ms) {}
  void BeginShutdown() override { told_at_ms = clock_->NowMilliseconds(); }
  int PeersLoggedIn() const override {
    return clock_->NowMilliseconds() < leave_at_ms_ ? 2 : 0;
  }
  int WaitLimitMs() const override { return limit_ms_; }
  int64_t told_at_ms = -1;

 private:
  FakeClock* clock_;
  int64_t leave_at_ms_;
  int limit_ms_;
};

TEST_F(UpsShutdownTest, DuringAMainsFailureTheCommandWaitsForThePeers) {
  LoadDefaults();
  Set("ZEP_EXEC_WAIT", "1");
  records_.monitor.power_fail_active.store(1);
  const int64_t start = records_.clock.NowMilliseconds();
  // Reports: one every 500 ms while the peers are waited for (they are
  // looked at every 100 ms), then the exec wait of 1 s counted from the
  // start, which ends at the first report past it.
  struct Case {
    int leave_after_ms;
    int limit_ms;
    size_t reports;
  };
  const Case cases[] = {
      {0, 15000, 3},      // none logged in: no wait at all (500, 1000, 1500)
      {2350, 15000, 5},   // gone at the look at 2400 (500..2000, then 2900)
      {60000, 3000, 7},   // never gone: the limit (500..3000, then 3500)
  };
  for (const Case& c : cases) {
    records_.clock.SetMilliseconds(start);
    LeavingPeers peers(&records_.clock, start + c.leave_after_ms, c.limit_ms);
    records_.context.shutdown_peers.store(&peers);
    RecordingSink sink;
    ProcessSinkScope scope(&sink);
    UpsShutdown(records_.context);
    EXPECT_EQ("S02R00001\r", Received());
    EXPECT_EQ(start, peers.told_at_ms);
    EXPECT_EQ(c.reports, sink.Sent().size()) << c.leave_after_ms;
  }
  records_.context.shutdown_peers.store(nullptr);
}

TEST_F(UpsShutdownTest, WithTheMainsPresentThePeersAreNeitherToldNorAwaited) {
  LoadDefaults();
  Set("ZEP_EXEC_WAIT", "1");
  LeavingPeers peers(&records_.clock, 1LL << 60, 15000);
  records_.context.shutdown_peers.store(&peers);
  // No UPS identified yet: the sequence runs, but no mains failure is known.
  EXPECT_EQ(1, UpsShutdown(records_.context));
  EXPECT_EQ("S02R00001\r", Received());
  EXPECT_EQ(-1, peers.told_at_ms);
  records_.context.shutdown_peers.store(nullptr);
}

TEST_F(UpsShutdownTest, WithoutAMonitorPortNothingIsSentAnywhereElse) {
  LoadDefaults();
  Set("ZEP_EXEC_WAIT", "1");
  records_.context.worker_ports[kMonitorSlot].store(0);
  EXPECT_EQ(1, UpsShutdown(records_.context));
  EXPECT_EQ("", Received(300));
  EXPECT_EQ(records_.launcher.Runs(), (Strings{kShutdownRecord, "exec.bat"}));
}

}  // namespace
}  // namespace zep
