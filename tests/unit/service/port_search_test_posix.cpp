// The port search against simulated UPSes on pseudo-terminals, with the
// real UPS I/O loop between the search and the line: the search order and
// its cost in attempts, and how many probes each protocol takes.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "host_recorders.h"
#include "link/port_search.h"
#include "monitor_fixtures.h"
#include "serlink32.h"
#include "simulated_ups.h"

namespace zep {
namespace {

class SimulatedPortTest : public ::testing::Test {
 protected:
  SimulatedPortTest()
      : port_("ZEP_PORT", ""),
        max_port_("ZEP_MAX_PORT", ""),
        records_(kMonitorRecords | kWithLauncher),
        io_(47240, &records_.ups_state) {
    records_.search.device_name = [this](int n) {
      auto found = devices_.find(n);
      return found != devices_.end()
                 ? found->second
                 : "/nonexistent/zep-com" + std::to_string(n);
    };
    link_.endpoint.internal_only = true;
    opened_ = io_.opened() && OpenEndpoint(&link_.endpoint, 47220) > 0;
    link_.ups_io_port = io_.port();
  }
  ~SimulatedPortTest() override {
    CloseEndpoint(&link_.endpoint);
    Kbapi_COMPortClose(kUpsPortSlot);
  }

  // Attempts until one finds a UPS (at most `most`); their number, or 0.
  int AttemptsUntilFound(int most) {
    for (int attempt = 1; attempt <= most; ++attempt) {
      int result = FindUpsPort(records_.context, &link_, kProbeAnswerTimeoutMs);
      if (result == 1) return attempt;
      if (result < 0) return 0;
    }
    return 0;
  }

  ScopedSetting port_;
  ScopedSetting max_port_;
  TestContext records_;
  UpsIoServer io_;
  MonitorLink link_;
  bool opened_ = false;
  std::map<int, std::string> devices_;
};

TEST_F(SimulatedPortTest, UpsAt2400OnCom3IsFoundAtTheFourteenthAttempt) {
  ASSERT_TRUE(opened_);
  ScopedSetting max_port("ZEP_MAX_PORT", "4");
  auto silent1 = StartSimulatedUps(false, 2400, "silence");
  auto silent2 = StartSimulatedUps(false, 2400, "silence");
  auto ups = StartSimulatedUps(false, 2400, "normal");
  ASSERT_TRUE(silent1 && silent2 && ups);
  devices_[1] = silent1->Device();
  devices_[2] = silent2->Device();
  devices_[3] = ups->Device();

  // COM1 and COM2 at five speeds each, then COM3 at 19200, 9600, 4800 and
  // 2400.
  EXPECT_EQ(14, AttemptsUntilFound(20));
  EXPECT_EQ(3, records_.search.com_number);
  EXPECT_EQ(2400, records_.search.found_speed);
  EXPECT_EQ(0, records_.ups_state.protocol_mode.load());
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(kUpsPortSlot));
  EXPECT_EQ((std::vector<std::string>{"status.bat|1|1|Port|COM3|2400bps"}),
            records_.launcher.Runs());
  // The three faster speeds reached the UPS but were not its own.
  EXPECT_EQ(3, ups->Counts().ignored);
}

TEST_F(SimulatedPortTest, TextUpsAnswersTheSecondProbeBinaryTheFirst) {
  ASSERT_TRUE(opened_);
  ScopedSetting max_port("ZEP_MAX_PORT", "1");
  for (bool binary : {false, true}) {
    auto ups = StartSimulatedUps(binary, 19200, "normal");
    ASSERT_TRUE(ups);
    devices_[1] = ups->Device();
    EXPECT_EQ(1, AttemptsUntilFound(1));
    SimulatedUpsCounts counters = ups->Counts();
    // The first probe goes as the binary identification request and a CR.
    EXPECT_EQ(1, counters.probes);
    if (!binary) {
      // "NG" to it made the mode 0; the second probe went as "M\r".
      EXPECT_EQ(0, records_.ups_state.protocol_mode.load());
      EXPECT_EQ(1, counters.text_requests["M\r"]);
    } else {
      EXPECT_EQ(1, records_.ups_state.protocol_mode.load());
      EXPECT_EQ(0u, counters.text_requests.count("M\r"));
    }
  }
  EXPECT_EQ((std::vector<std::string>{"status.bat|1|1|Port|COM1|19200bps",
                                      "status.bat|1|1|Port|COM1|19200bps"}),
            records_.launcher.Runs());
}

TEST_F(SimulatedPortTest, ConfiguredDeviceIsOpenedAsItStands) {
  ASSERT_TRUE(opened_);
  auto ups = StartSimulatedUps(false, 9600, "normal");
  ASSERT_TRUE(ups);
  ScopedSetting port("ZEP_PORT", ups->Device());
  EXPECT_EQ(2, AttemptsUntilFound(5));
  EXPECT_EQ(ups->Device(), records_.search.found_device);
  // A terminal has no COM number: the record shows the counter.
  EXPECT_EQ((std::vector<std::string>{"status.bat|1|1|Port|COM1|9600bps"}),
            records_.launcher.Runs());
}

}  // namespace
}  // namespace zep
