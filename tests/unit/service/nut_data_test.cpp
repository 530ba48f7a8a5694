// What the NUT server reads from the service's records: the status tokens
// from the active events, every variable from the meter tags and the
// information items (values worked out by hand from the meter message
// file's tags), values the clients could not take left out, when the data
// count as stale, and the settings with their limits.
#include "nut/nut_data.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "nut/nut_settings.h"
#include "test_context.h"

namespace zep {
namespace {

std::string Listed(const NutUpsData& data) {
  std::string text;
  for (const NutVariable& v : data.variables) {
    text += v.name + ": " + v.value + "\n";
  }
  return text;
}

TEST(NutDataTest, StatusTokensFollowTheActiveEvents) {
  struct Case {
    std::vector<int> events;
    bool forced_shutdown;
    const char* status;
  };
  const Case cases[] = {
      {{}, false, "OL"},
      {{3368}, false, "OB"},
      {{3368, 2177}, false, "OB LB"},
      {{2177}, false, "OL LB"},
      {{3200}, false, "OL OVER"},
      {{2176}, false, "OL CAL"},
      {{96}, false, "OL BYPASS"},
      {{1544}, false, "ALARM OL"},
      {{3080, 3368, 3200}, false, "ALARM OB OVER"},
      {{3368, 2177}, true, "FSD OB LB"},
      // Events without a token change nothing.
      {{304, 3880}, false, "OL"},
  };
  for (const Case& c : cases) {
    ActiveEventTable events;
    for (int code : c.events) SetActiveEvent(events, code, 2, 1700000000);
    EXPECT_EQ(c.status, NutStatusText(events, c.forced_shutdown))
        << "first event " << (c.events.empty() ? 0 : c.events[0]);
  }
}

class NutRecordsTest : public ::testing::Test {
 protected:
  NutRecordsTest()
      : records_(kWithMessages | kWithUpsState | kWithEvents |
                 kWithMeterValues) {}

  void Tag(int tag, float value) {
    records_.meter_values.tags[tag].value.store(value);
    records_.meter_values.tags[tag].present.store(1);
  }

  TestContext records_;
};

TEST_F(NutRecordsTest, TextUpsVariablesComeFromTheTagsAndItems) {
  records_.ups_state.protocol_mode.store(0);
  records_.SetItem(0, "T-PWR15J1");
  records_.SetItem(1, "rating text");  // not a serial number on a text UPS
  records_.SetItem(2, "1.2");
  records_.SetItem(7, "80");
  Tag(64, 27.5f);    // battery voltage
  Tag(88, 26.0f);    // temperature
  Tag(160, 100.0f);  // output voltage
  Tag(172, 35.0f);   // load
  Tag(176, 50.0f);   // output frequency
  Tag(192, 101.0f);  // input voltage
  Tag(201, 0.5f);    // output power, kVA
  Tag(208, 60.0f);   // input frequency
  Tag(232, 100.0f);  // rated voltage (the second of its two tags)
  Tag(226, 1500.0f);
  Tag(234, 1400.0f);  // the first tag wins
  Tag(227, 1050.0f);
  SetActiveEvent(records_.events, 3368, 2, 1700000000);
  const NutUpsData data =
      ReadNutUpsData(records_.context, "1.1.0.2", false, false);
  EXPECT_EQ(
      "battery.charge: 80\n"
      "battery.voltage: 27.5\n"
      "device.model: T-PWR15J1\n"
      "device.type: ups\n"
      "driver.name: zeps\n"
      "driver.version: 1.1.0.2\n"
      "input.frequency: 60.0\n"
      "input.voltage: 101.0\n"
      "input.voltage.nominal: 100\n"
      "output.frequency: 50.0\n"
      "output.voltage: 100.0\n"
      "output.voltage.nominal: 100\n"
      "ups.firmware: 1.2\n"
      "ups.load: 35\n"
      "ups.model: T-PWR15J1\n"
      "ups.power: 500\n"
      "ups.power.nominal: 1500\n"
      "ups.realpower.nominal: 1050\n"
      "ups.status: OB\n"
      "ups.temperature: 26.0\n",
      Listed(data));
}

TEST_F(NutRecordsTest, BinaryUpsAddsSerialNominalFrequencyAndAlarm) {
  records_.ups_state.protocol_mode.store(1);
  records_.ups_state.nominal_frequency.store(50);
  records_.SetItem(1, "ZP1234");
  Tag(169, 1.2f);  // the binary UPS's output power tag
  SetActiveEvent(records_.events, 3080, 3, 1700000000);
  EXPECT_EQ(
      "device.serial: ZP1234\n"
      "device.type: ups\n"
      "driver.name: zeps\n"
      "output.frequency.nominal: 50\n"
      "ups.alarm: UPS fault\n"
      "ups.power: 1200\n"
      "ups.serial: ZP1234\n"
      "ups.status: ALARM OL\n",
      Listed(ReadNutUpsData(records_.context, "", false, false)));
}

TEST_F(NutRecordsTest, ValuesTheClientsCannotTakeAreLeftOut) {
  records_.SetItem(0, "say \"hi\"");
  records_.SetItem(2, "back\\slash");
  records_.SetItem(7, "n/a");
  const NutUpsData data = ReadNutUpsData(records_.context, "", false, false);
  EXPECT_EQ(nullptr, FindNutVariable(data, "ups.model"));
  EXPECT_EQ(nullptr, FindNutVariable(data, "ups.firmware"));
  EXPECT_EQ(nullptr, FindNutVariable(data, "battery.charge"));
  ASSERT_NE(nullptr, FindNutVariable(data, "UPS.STATUS"));
}

TEST_F(NutRecordsTest, StaleWhileTheLinkIsLostAndUntilAPassAfterIt) {
  constexpr int kHold = 6000;
  NutFreshness freshness;
  struct Step {
    int64_t now_ms;
    bool link_lost;
    bool polled;
    bool stale;
  };
  const Step steps[] = {
      {0, false, false, true},     // no polling pass yet
      {1000, false, true, false},  // the first pass made
      {2000, true, true, true},    // the link lost
      {9000, true, true, true},
      {10000, false, true, true},  // back: one more pass to wait for
      {15999, false, true, true},
      {16000, false, true, false},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(s.stale, UpdateNutFreshness(&freshness, {s.link_lost, s.polled},
                                          s.now_ms, kHold))
        << "at " << s.now_ms;
  }
  // What the records say: the lost-link event, and a summary worked out.
  records_.context.summary = &records_.summary;
  EXPECT_FALSE(ReadNutLinkFacts(records_.context).link_lost);
  EXPECT_FALSE(ReadNutLinkFacts(records_.context).polled);
  SetActiveEvent(records_.events, kLinkEventCode, 3, 1700000000);
  records_.summary.summary_severity.store(1);
  EXPECT_TRUE(ReadNutLinkFacts(records_.context).link_lost);
  EXPECT_TRUE(ReadNutLinkFacts(records_.context).polled);
}

TEST(NutSettingsTest, DefaultsLimitsAndComplaints) {
  struct Case {
    std::map<std::string, std::string> file;
    std::string expected;  // listen|port|ups|user|hostsync|cycle|complaints
  };
  const Case cases[] = {
      {{}, "|3493|zep||15|1000|0"},
      {{{"ZEP_NUT_LISTEN", "127.0.0.1,::1"},
        {"ZEP_NUT_PORT", "3494"},
        {"ZEP_NUT_UPS", "office"},
        {"ZEP_NUT_USER", "mon"},
        {"ZEP_NUT_PASSWORD", "secret"},
        {"ZEP_NUT_HOSTSYNC", "30"},
        {"ZEP_MON_CYCLE", "500"}},
       "127.0.0.1 ::1|3494|office|mon|30|500|0"},
      {{{"ZEP_NUT_LISTEN", "a,,b,c,d,e"},
        {"ZEP_NUT_PORT", "70000"},
        {"ZEP_NUT_UPS", "two words"},
        {"ZEP_NUT_USER", "mon"},  // no password
        {"ZEP_NUT_HOSTSYNC", "-3"},
        {"ZEP_MON_CYCLE", "50000"}},
       "a b c d|3493|zep||0|10000|4"},
      {{{"ZEP_NUT_HOSTSYNC", "600"}, {"ZEP_MON_CYCLE", "0"}},
       "|3493|zep||60|1000|0"},
  };
  for (const Case& c : cases) {
    const NutSettings s =
        ParseNutSettings([&](const char*, const char* key, std::string* value) {
          auto it = c.file.find(key);
          if (it == c.file.end()) return false;
          *value = it->second;
          return true;
        });
    std::string listen;
    for (const std::string& a : s.listen)
      listen += (listen.empty() ? "" : " ") + a;
    EXPECT_EQ(c.expected, listen + "|" + std::to_string(s.port) + "|" +
                              s.identity.ups_name + "|" + s.identity.user +
                              "|" + std::to_string(s.host_sync_seconds) + "|" +
                              std::to_string(s.monitor_cycle_ms) + "|" +
                              std::to_string(s.complaints.size()));
  }
}

}  // namespace
}  // namespace zep
