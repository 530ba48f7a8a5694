// The port search without a UPS: how device names and COM numbers relate,
// the port count from the settings, and attempts at ports that cannot be
// opened (each is left at once, with a drain of the link and the speed
// index back at 0).
#include "link/port_search.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host_recorders.h"
#include "monitor_fixtures.h"
#include "serlink32.h"

namespace zep {
namespace {

TEST(PortSearchNames, ComNumberOfADeviceName) {
  const std::pair<const char*, int> cases[] = {{"\\\\.\\COM3", 3},
                                               {"COM12", 12},
                                               {"com7", 7},
                                               {"\\\\.\\com256", 256},
                                               {"/dev/ttyS0", 1},
                                               {"/dev/ttyS15", 16},
                                               // No COM number: the fallback.
                                               {"\\\\.\\COM0", -7},
                                               {"COM", -7},
                                               {"COM3x", -7},
                                               {"COM1234567", -7},
                                               {"/dev/ttyUSB0", -7},
                                               {"/dev/pts/3", -7},
                                               {"/dev/ttyS", -7},
                                               {"", -7}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.second, ComNumberOfDevice(c.first, -7)) << c.first;
  }
}

TEST(PortSearchNames, DefaultDeviceNameIsTheWindowsComName) {
  PortSearch search;
  EXPECT_EQ("\\\\.\\COM1", SearchDeviceName(search, 1));
  EXPECT_EQ("\\\\.\\COM256", SearchDeviceName(search, 256));
  search.device_name = [](int n) { return "tty" + std::to_string(n); };
  EXPECT_EQ("tty4", SearchDeviceName(search, 4));
}

TEST(PortSearchNames, PortCountFromTheSettingWithItsDefaultAndLimit) {
  const std::pair<const char*, int> cases[] = {
      {"", 10}, {"0", 10},  {"-4", 10},   {"x", 10},
      {"1", 1}, {"12", 12}, {"256", 256}, {"300", 256}};
  for (const auto& c : cases) {
    ScopedSetting max_port("ZEP_MAX_PORT", c.first);
    EXPECT_EQ(c.second, MaxSearchPort()) << c.first;
  }
}

// Attempts on a link whose UPS I/O port nobody serves: no probe is ever
// answered, and every device name asked for is kept.
class MissingPortTest : public ::testing::Test {
 protected:
  MissingPortTest()
      : port_("ZEP_PORT", ""),
        max_port_("ZEP_MAX_PORT", ""),
        records_(kMonitorRecords | kWithLauncher) {
    records_.search.device_name = [this](int n) {
      asked_.push_back(n);
      // A name no system has.
      return "\\\\.\\ZEPNOCOM" + std::to_string(n);
    };
    link_.endpoint.internal_only = true;
    opened_ = OpenEndpoint(&link_.endpoint, 47280) > 0;
    link_.ups_io_port = 47279;
  }
  ~MissingPortTest() override { CloseEndpoint(&link_.endpoint); }

  int Attempt() { return FindUpsPort(records_.context, &link_, 300); }

  ScopedSetting port_;
  ScopedSetting max_port_;
  TestContext records_;
  MonitorLink link_;
  bool opened_ = false;
  std::vector<int> asked_;
};

TEST_F(MissingPortTest, EachMissingPortIsLeftAtOnceForTheNext) {
  ASSERT_TRUE(opened_);
  ScopedSetting max_port("ZEP_MAX_PORT", "3");
  records_.search.speed_index = 2;  // half way through the speeds
  // Stale answers on the link are drained by the attempt.
  TestEndpoint stale(47260);
  for (int i = 0; i < 3; ++i) stale.Send(link_.endpoint.bound_port, "00\r");

  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(0, Attempt());
    EXPECT_EQ(0, records_.search.speed_index);
  }
  EXPECT_EQ((std::vector<int>{1, 2, 3, 1}), asked_);
  EXPECT_EQ(2, records_.search.com_number);
  char scratch[16];
  EXPECT_EQ(0, ReceiveDatagram(&link_.endpoint, scratch, sizeof scratch, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(kUpsPortSlot));
  EXPECT_TRUE(records_.launcher.Runs().empty());
}

TEST_F(MissingPortTest, OnePortSearchStaysOnComOne) {
  ASSERT_TRUE(opened_);
  ScopedSetting max_port("ZEP_MAX_PORT", "1");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(0, Attempt());
  EXPECT_EQ((std::vector<int>{1, 1}), asked_);
}

TEST_F(MissingPortTest, ConfiguredDeviceIsTheOnlyOneAndTheNumberStays) {
  ASSERT_TRUE(opened_);
  ScopedSetting port("ZEP_PORT", "\\\\.\\ZEPNOCOM9");
  ScopedSetting max_port("ZEP_MAX_PORT", "5");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(0, Attempt());
  EXPECT_TRUE(asked_.empty());
  EXPECT_EQ(1, records_.search.com_number);
  EXPECT_EQ(0, records_.search.speed_index);
}

TEST_F(MissingPortTest, OverlongConfiguredDeviceIsRefusedNotCut) {
  ASSERT_TRUE(opened_);
  // 64 characters: cut to 63, it would name another device.
  const std::string device = "/dev/serial/by-id/" + std::string(46, 'u');
  ScopedSetting port("ZEP_PORT", device.c_str());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(0, Attempt());
  EXPECT_TRUE(asked_.empty());
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(kUpsPortSlot));
  // Said once, as the problem record.
  EXPECT_EQ((std::vector<std::string>{
                "status.bat|2|130|Installation problem|ZEP_PORT|longer than 63 "
                "characters, not used: " +
                device}),
            records_.launcher.Runs());
}

TEST_F(MissingPortTest, NoSearchRecordNoSearch) {
  records_.context.port_search = nullptr;
  EXPECT_EQ(-1, Attempt());
}

}  // namespace
}  // namespace zep
