// The whole monitor thread in-process against a simulated UPS on a
// pseudo-terminal, with the real UPS I/O loop and the real meter thread
// beside it and a sink standing for the event thread: the search,
// identification and polling of a text and of a binary UPS, the records
// they make, and a lost link with its event 3880 and the re-identification.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "events/meter_worker.h"
#include "host_recorders.h"
#include "link/monitor.h"
#include "monitor_fixtures.h"
#include "serlink32.h"
#include "simulated_ups.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

// Only a failing test waits this long.
constexpr int kWaitMs = 30000;

class MonitorRunTest : public ::testing::Test {
 protected:
  MonitorRunTest()
      : port_("ZEP_PORT", ""),
        cycle_("ZEP_MON_CYCLE", "1"),
        fixed_("ZEP_FIXED_FLAG", ""),
        records_(kMonitorRecords | kWithLauncher),
        io_(47180, &records_.ups_state),
        slot_(47160),
        events_(47140),
        meter_(47120, true, &records_.context) {
    slot_.endpoint()->internal_only = true;
    records_.SetPort(kUpsIoSlot, io_.port());
    records_.SetPort(kEventSlot, events_.port());
    records_.SetPort(kMeterSlot, meter_.port());
  }

  ~MonitorRunTest() override {
    Stop();
    meter_.Stop();
    Kbapi_COMPortClose(0);
  }

  void Start(bool binary, const std::string& state = "normal") {
    ups_ = StartSimulatedUps(binary, 19200, state);
    ASSERT_TRUE(ups_);
    ASSERT_TRUE(io_.opened() && meter_.opened());
    port_setting_.reset(new ScopedSetting("ZEP_PORT", ups_->Device()));
    meter_.Start(&MeterWorker);
    monitor_ =
        std::thread([this] { RunMonitor(records_.context, slot_.endpoint()); });
  }

  void Stop() {
    if (!monitor_.joinable()) return;
    SendStopSignal(slot_.endpoint());
    monitor_.join();
  }

  // The status records made so far.
  Strings StatusRuns() const {
    return StartingWith(records_.launcher.Runs(), "status.bat|");
  }

  int CountRuns(const std::string& prefix) const {
    return static_cast<int>(
        StartingWith(records_.launcher.Runs(), prefix).size());
  }

  bool WaitForRuns(const std::string& prefix, int times) const {
    return WaitUntil([&] { return CountRuns(prefix) >= times; }, kWaitMs, 20);
  }

  int RequestCount(const std::string& request) const {
    int n = 0;
    for (const std::string& seen : ups_->Requests()) n += seen == request;
    return n;
  }

  // Event datagrams in hex until `wanted` arrives (or the wait ends).
  Strings EventsUntil(const std::string& wanted) {
    Strings seen;
    for (int waited = 0; waited < kWaitMs; waited += 500) {
      std::string datagram = events_.Receive(500);
      if (datagram.empty()) continue;
      seen.push_back(Hex(datagram));
      if (seen.back() == wanted) break;
    }
    return seen;
  }

  ScopedSetting port_;
  ScopedSetting cycle_;
  ScopedSetting fixed_;
  std::unique_ptr<ScopedSetting> port_setting_;
  TestContext records_;
  UpsIoServer io_;
  TestEndpoint slot_;
  TestEndpoint events_;
  WorkerOnThread meter_;
  std::unique_ptr<SimulatedUps> ups_;
  std::thread monitor_;
};

TEST_F(MonitorRunTest, TextUpsIsFoundIdentifiedAndPolled) {
  Start(false);
  // The first pass reports the on-line bit (event 64 of group 1) as begun.
  EXPECT_EQ((Strings{"85 01 10 40"}), EventsUntil("85 01 10 40"));
  EXPECT_TRUE(WaitForRuns("status.bat|1|12|", 1));
  Stop();

  // On the wire: the probe as a binary request with a CR (answered "NG"),
  // the probe again as text, the identification, then polling.
  Strings requests = ups_->Requests();
  ASSERT_GE(requests.size(), 14u);
  EXPECT_EQ("\"\\xAB", requests[0].substr(0, 5));
  EXPECT_EQ(
      (Strings{"\"M\\r\"", "\"&K\\r\"", "\"%ZQ\\r\"", "\"&M\\r\"", "\"%N\\r\"",
               "\"%M\\r\"", "\"M\\r\"", "\"&S1\\r\"", "\"&N\\r\"", "\"&S1\\r\"",
               "\"QQ\\r\"", "\"&R\\r\"", "\"Q1\\r\""}),
      Strings(requests.begin() + 1, requests.begin() + 14));

  // Ratings of "T-PWR15J1": 1500 VA and W, 100 V, made items 4 to 6 by the
  // meter thread in time for the rated record. After the first pass, the
  // quiet category 12.
  Strings runs = StatusRuns();
  ASSERT_GE(runs.size(), 4u);
  EXPECT_EQ((Strings{"status.bat|1|1|Port|COM1|19200bps",
                     "status.bat|1|110|System Information|T-PWR15J1|1.2|15001",
                     "status.bat|1|120|Rated Information|1500VA|1500W|100V",
                     "status.bat|1|12|????|????"}),
            Strings(runs.begin(), runs.begin() + 4));
  EXPECT_EQ("T-PWR15J1", records_.Item(0));
  EXPECT_EQ("1.2", records_.Item(2));
  EXPECT_EQ("15001", records_.Item(3));
  EXPECT_EQ("100", records_.Item(7));
  EXPECT_EQ("T-PWR15J1", LoadText(records_.monitor.model_text));
  EXPECT_EQ(1, records_.summary.summary_kind.load());
}

TEST_F(MonitorRunTest, BinaryUpsIsIdentifiedThroughTheTranslation) {
  Start(true);
  EXPECT_TRUE(WaitForRuns("status.bat|1|120|", 1));
  Stop();
  EXPECT_EQ(1, records_.ups_state.protocol_mode.load());
  // Model ZPX-A1500JC, version 1.5, identification texts "SN A15-00012345"
  // and "1500VA/1350W"; rated 1500 VA, 1350 W, 100 V.
  Strings runs = StatusRuns();
  ASSERT_GE(runs.size(), 3u);
  EXPECT_EQ((Strings{"status.bat|1|1|Port|COM1|19200bps",
                     "status.bat|1|110|System Information|ZPX-A1500JC|"
                     "1500VA/1350W|01.05",
                     "status.bat|1|120|Rated Information|1500VA|1350W|100V"}),
            Strings(runs.begin(), runs.begin() + 3));
  EXPECT_EQ("SN A15-00012345", records_.Item(12));
  // Only the first probe went out as text-free binary; no command reached
  // the line as text.
  EXPECT_EQ(1, ups_->Counts().probes);
  EXPECT_TRUE(ups_->Counts().text_requests.empty());
}

TEST_F(MonitorRunTest, LostLinkRaisesEvent3880AndIdentifiesAgainOnTheSamePort) {
  Start(false, "mains-failure");
  // On battery: 64 of group 1 (0x1040), 3368 and 3336 of group 2 (0x2D28,
  // 0x2D08). The event thread would have set the mains failure flag.
  ASSERT_EQ((Strings{"85 03 10 40 2D 28 2D 08"}),
            EventsUntil("85 03 10 40 2D 28 2D 08"));
  records_.monitor.power_fail_active.store(1);
  ups_->SetState("silence");

  // Four failures in a row end the phase: 3880 began, group 3
  // (0x3000 | 0xF28). Nothing else was reported before it.
  EXPECT_EQ((Strings{"85 01 3F 28"}), EventsUntil("85 01 3F 28"));

  // The mains came back while the link was lost. Identified again: 3880
  // ended (bit 15 set), then the first pass announces what is on (64) and
  // ends what went off meanwhile (0xAD28, 0xAD08): the event thread
  // recovers from that, not the monitor, which leaves the flag alone.
  ups_->SetState("normal");
  Strings after = EventsUntil("85 03 10 40 AD 28 AD 08");
  ASSERT_GE(after.size(), 2u);
  EXPECT_EQ("85 01 BF 28", after[after.size() - 2]);
  EXPECT_EQ("85 03 10 40 AD 28 AD 08", after.back());
  EXPECT_EQ(1, records_.monitor.power_fail_active.load());
  Stop();
  EXPECT_EQ(0, CountRuns("powerrecovery.bat"));
  EXPECT_EQ(2, CountRuns("status.bat|1|110|"));
  EXPECT_EQ(2, CountRuns("status.bat|1|120|"));
  // Identified again on the same port and speed, without a new search or
  // "Port" record. The state record was reset, so the first command ("&K")
  // went out as the binary request with a CR, as the search's first probe
  // did, and the UPS's "NG" made the mode 0 again. (The silent UPS does
  // not log what it ignored.)
  int probes = 0;
  for (const std::string& seen : ups_->Requests()) {
    probes += seen.compare(0, 5, "\"\\xAB") == 0;
  }
  EXPECT_EQ(2, probes);
  EXPECT_EQ(1, RequestCount("\"&K\\r\""));
  EXPECT_EQ(2, RequestCount("\"%ZQ\\r\""));
  EXPECT_EQ(0, records_.ups_state.protocol_mode.load());
  EXPECT_EQ(1, CountRuns("status.bat|1|1|Port|"));
}

TEST_F(MonitorRunTest, HotTextUpsRaisesTheTemperatureConditionFromTheMeter) {
  Start(false, "over-temperature");
  // The first pass brings the temperature (55.5) to the meter; the
  // next "&S1" gets 0x01 added, which is event 304 of group 2.
  Strings seen = EventsUntil("85 01 21 30");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ("85 01 21 30", seen.back());
  float temperature = 0;
  EXPECT_TRUE(TemperatureOf(records_.meter_values, &temperature));
  EXPECT_FLOAT_EQ(55.5f, temperature);
}

}  // namespace
}  // namespace zep
