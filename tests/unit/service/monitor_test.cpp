// The monitor's relay, identification and polling against a scripted UPS
// I/O thread. The answers are the ones a text UPS of model T-PWR15J1 gives
// (lengths count the CR); every expected value below is worked out by hand
// from them.
#include "link/monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "host_recorders.h"
#include "monitor_fixtures.h"
#include "threads.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

// The answers of a text UPS in the normal state.
std::map<std::string, std::string> TextUpsAnswers() {
  return {
      {"&K\r", "NG\r"},
      {"%ZQ\r", "OK\r"},
      {"&M\r", "T-PWR15J1 01.02\r"},  // 16
      {"%N\r", "0000\r"},
      {"%M\r", "%MT-PWR15J1       1.215001\r"},  // 27
      {"M\r", "00\r"},
      {"&S1\r", "000200100101100\r"},  // 16
      {"&N\r", "00000000\r"},          // 9
      {"QQ\r", "(1010 1000 FFFFFFFF 035 500 500 0275 250 005 00000110\r"},
      {"&R\r", "250250000010099\r"},  // 16
      {"Q1\r", "(101.0 101.0 100.0 035 50.0 27.5 25.0 00000001\r"},
      {"T\r", "OK\r"},
  };
}

// A monitor session on test endpoints: the slot endpoint (internal only,
// as in the service), the link towards the scripted UPS I/O thread, and
// sinks standing for the event and meter threads.
class MonitorTest : public ::testing::Test {
 protected:
  MonitorTest()
      : records_(kMonitorRecords | kWithLauncher),
        slot_(47380),
        events_(47360),
        meter_(47340) {
    slot_.endpoint()->internal_only = true;
    records_.SetPort(kEventSlot, events_.port());
    records_.SetPort(kMeterSlot, meter_.port());
    ClearMonitorRecord(&records_.monitor);
    PrepareStatusRing(&records_.monitor.ring);
    session_.context = &records_.context;
    session_.slot_endpoint = slot_.endpoint();
    session_.cycle_ms = 1;
  }
  ~MonitorTest() override { CloseEndpoint(&session_.link.endpoint); }

  // Starts the scripted UPS I/O thread and opens the link towards it.
  void StartUps(ScriptedUpsIo::Answer answer) {
    ups_.reset(new ScriptedUpsIo(47440, std::move(answer)));
    ASSERT_TRUE(ups_->opened());
    session_.link.endpoint.internal_only = true;
    ASSERT_GT(OpenEndpoint(&session_.link.endpoint, 47420), 0);
    session_.link.ups_io_port = ups_->port();
  }

  // A UPS answering from the table (no answer for commands it lacks).
  void StartTableUps(std::map<std::string, std::string> answers) {
    StartUps([answers](const std::string& command, std::string* answer) {
      auto found = answers.find(command);
      if (found == answers.end()) return false;
      *answer = found->second;
      return true;
    });
  }

  void SetMode(int mode) {
    records_.ups_state.protocol_mode.store(static_cast<int8_t>(mode));
  }

  TestContext records_;
  TestEndpoint slot_;
  TestEndpoint events_;
  TestEndpoint meter_;
  std::unique_ptr<ScriptedUpsIo> ups_;
  MonitorSession session_;
};

TEST(MonitorCycleTest, SettingWithItsDefaultAndLimit) {
  const std::pair<const char*, int> cases[] = {
      {"", 1000},   {"0", 1000},      {"-5", 1000},    {"1", 1},
      {"250", 250}, {"10000", 10000}, {"20000", 10000}};
  for (const auto& c : cases) {
    ScopedSetting cycle("ZEP_MON_CYCLE", c.first);
    EXPECT_EQ(c.second, MonitorCycle()) << c.first;
  }
}

TEST(MonitorLinkTest, DrainDropsWhatWaitsButNotTheStopSignal) {
  TestEndpoint endpoint(47300);
  TestEndpoint sender(47290);
  for (int i = 0; i < 3; ++i) sender.Send(endpoint.port(), "stale\r");
  EXPECT_EQ(0, DrainEndpoint(endpoint.endpoint(), 50));
  EXPECT_EQ("", endpoint.Receive(0));

  // The stop signal among stale datagrams ends the drain with -1, so that
  // the caller can end instead of waiting for a signal already taken.
  sender.Send(endpoint.port(), "stale\r");
  SendStopSignal(endpoint.endpoint());
  sender.Send(endpoint.port(), "stale\r");
  EXPECT_EQ(-1, DrainEndpoint(endpoint.endpoint(), 50));
}

TEST(MonitorLinkTest, StopEventCutsTheWaitForAnAnswerShort) {
  ManualResetEvent stop;
  std::atomic<ManualResetEvent*> stop_event{&stop};
  MonitorLink link;
  ASSERT_GT(OpenEndpoint(&link.endpoint, 47300), 0);
  link.stop_event = &stop_event;
  std::atomic<int> result{1};
  ManualResetEvent returned;
  std::thread waiter([&] {
    char answer[kLinkTextSize];
    // A silent UPS and a long monitor cycle.
    result = ReceiveAnswer(&link, answer, 60000);
    returned.Set();
  });
  stop.Set();
  // Generous: the wait ends at the next look at the event.
  EXPECT_TRUE(returned.Wait(20000));
  waiter.join();
  EXPECT_EQ(-1, result.load());
  CloseEndpoint(&link.endpoint);
}

TEST(MonitorRunWithoutRecordsTest, WaitsForTheStopSignalInsteadOfEnding) {
  TestContext records(kMonitorRecords & ~kWithMonitor);
  TestEndpoint slot(47300);
  std::atomic<bool> ended{false};
  std::thread monitor([&] {
    RunMonitor(records.context, slot.endpoint());
    ended = true;
  });
  TestEndpoint sender(47290);
  sender.Send(slot.port(), "&S1\r");
  sender.Send(slot.port(), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(ended);
  SendStopSignal(slot.endpoint());
  monitor.join();
  EXPECT_TRUE(ended);
}

TEST_F(MonitorTest, RelayPassesACommandOnAndTheAnswerBack) {
  StartTableUps(TextUpsAnswers());
  TestEndpoint client(47320);
  char buffer[kLinkTextSize];

  // Nothing waiting: 0, and the UPS hears nothing.
  EXPECT_EQ(0, RelayRequest(slot_.endpoint(), &session_.link, 20, buffer));
  EXPECT_TRUE(ups_->Commands().empty());

  ASSERT_EQ(2, client.Send(slot_.port(), "T\r"));
  EXPECT_EQ(3, RelayRequest(slot_.endpoint(), &session_.link, 1000, buffer));
  EXPECT_EQ("OK\r", client.Receive());
  EXPECT_EQ((Strings{"T\r"}), ups_->Commands());

  // The stop signal on the slot endpoint.
  SendStopSignal(slot_.endpoint());
  EXPECT_EQ(-2, RelayRequest(slot_.endpoint(), &session_.link, 1000, buffer));
}

TEST_F(MonitorTest, TextUpsIsIdentifiedAndItsTextsAndRatingsKept) {
  StartTableUps(TextUpsAnswers());
  SetMode(0);
  ASSERT_EQ(1, IdentifyUps(&session_));
  EXPECT_EQ((Strings{"&K\r", "%ZQ\r", "&M\r", "%N\r", "%M\r", "M\r", "&S1\r",
                     "&N\r"}),
            ups_->Commands());

  // "%M": the model from the third character, the version "1.2" (three
  // characters from the 19th), the rating record "15001" behind it. No
  // rating text for a text UPS; no identification text in the state.
  EXPECT_EQ("T-PWR15J1", records_.Item(0));
  EXPECT_EQ("", records_.Item(1));
  EXPECT_EQ("1.2", records_.Item(2));
  EXPECT_EQ("15001", records_.Item(3));
  EXPECT_EQ("", records_.Item(12));
  EXPECT_EQ("T-PWR15J1", LoadText(records_.monitor.model_text));

  // "T-PWR15J1": 15 x 100 VA and W; "J" then "1": code 1, 100 V.
  EXPECT_EQ("226=1500 234=1500 227=1500 235=1500 224=100 232=100",
            ValuesOf(meter_.Receive()));

  // "&S1" 00 02: stored in entry 0 (status bits as prepared), then the
  // ring moved on.
  const StatusRing& ring = records_.monitor.ring;
  EXPECT_EQ(1, ring.index);
  EXPECT_EQ(0x00, ring.entries[0].alarm_summary);
  EXPECT_EQ(0x02, ring.entries[0].state);
  EXPECT_EQ(0x06, ring.entries[0].status_bits);

  // No cancel without ZEP_FIXED_FLAG.
  EXPECT_EQ("", slot_.Receive(200));
}

TEST_F(MonitorTest, FixedFlagMakesATextUpsCancelThroughTheMonitorSlot) {
  ScopedSetting fixed("ZEP_FIXED_FLAG", "1");
  StartTableUps(TextUpsAnswers());
  SetMode(0);
  ASSERT_EQ(1, IdentifyUps(&session_));
  EXPECT_EQ("&C\r", slot_.Receive());
}

TEST_F(MonitorTest, BinaryUpsRatingsComeFromTheStateRecord) {
  // What the translator answers for a binary UPS of model ZPX-A1500JC,
  // version 1.5, and what its replies left in the state record.
  std::map<std::string, std::string> answers = TextUpsAnswers();
  answers["&M\r"] = "ZPX-A1500 01.05\r";
  answers["%M\r"] = "%MZPX-A1500JC     01.05   \r";
  StartTableUps(answers);
  UpsState& state = records_.ups_state;
  SetMode(1);
  state.rated_va.store(1500);
  state.rated_watts.store(1350);
  state.rated_voltage.store(100);
  state.percent_base.store(1000);
  StoreText(state.id_text_a, "SN A15-00012345", 15);
  StoreText(state.id_text_b, "1500VA/1350W", 12);
  // Group 1 of two is in state 3: a schedule to cancel.
  state.group_count.store(1);
  state.group_states[0].store(1);
  state.group_states[1].store(3);

  ASSERT_EQ(1, IdentifyUps(&session_));
  EXPECT_EQ("ZPX-A1500JC", records_.Item(0));
  EXPECT_EQ("1500VA/1350W", records_.Item(1));
  EXPECT_EQ("01.05", records_.Item(2));
  EXPECT_EQ("", records_.Item(3));
  EXPECT_EQ("SN A15-00012345", records_.Item(12));
  EXPECT_EQ("226=1500 234=1500 227=1350 235=1350 224=100 232=100",
            ValuesOf(meter_.Receive()));
  EXPECT_EQ("&C\r", slot_.Receive());
}

TEST_F(MonitorTest, BinaryUpsWithoutScheduleGetsNoCancel) {
  StartTableUps(TextUpsAnswers());
  SetMode(1);
  records_.ups_state.group_count.store(1);
  records_.ups_state.group_states[0].store(1);
  records_.ups_state.group_states[1].store(1);
  ASSERT_EQ(1, IdentifyUps(&session_));
  EXPECT_EQ("", slot_.Receive(200));
}

TEST_F(MonitorTest, MissingAnswerOrStatusStartsTheIdentificationOver) {
  std::map<std::string, std::string> answers = TextUpsAnswers();
  std::atomic<int> model_asks{0};
  std::atomic<int> version_asks{0};
  std::atomic<int> status_asks{0};
  StartUps([answers, &model_asks, &version_asks, &status_asks](
               const std::string& command, std::string* answer) {
    // "%M" gets no answer the first time.
    if (command == "%M\r" && version_asks++ == 0) return false;
    *answer = answers.at(command);
    // "&M" comes without its CR the first time.
    if (command == "&M\r" && model_asks++ == 0) answer->pop_back();
    // "&S1" is refused, then answered with 6 characters instead of 16: the
    // link is not back without the status.
    if (command == "&S1\r") {
      int ask = status_asks++;
      if (ask == 0) *answer = "NG\r";
      if (ask == 1) *answer = "00020\r";
    }
    return true;
  });
  SetMode(0);
  ASSERT_EQ(1, IdentifyUps(&session_));
  EXPECT_EQ((Strings{"&K\r",  "%ZQ\r", "&M\r",  // no CR: over again
                     "&K\r",  "%ZQ\r", "&M\r",  "%N\r",  "%M\r",  // silent
                     "&K\r",  "%ZQ\r", "&M\r",  "%N\r",  "%M\r", "M\r",
                     "&S1\r", "&K\r",  "%ZQ\r", "&M\r",  "%N\r", "%M\r",
                     "M\r",   "&S1\r", "&K\r",  "%ZQ\r", "&M\r", "%N\r",
                     "%M\r",  "M\r",   "&S1\r", "&N\r"}),
            ups_->Commands());
}

TEST_F(MonitorTest, RequestsWaitingAreRelayedBeforeTheNextOwnCommand) {
  StartTableUps(TextUpsAnswers());
  SetMode(0);
  TestEndpoint client(47320);
  ASSERT_EQ(2, client.Send(slot_.port(), "T\r"));
  ASSERT_EQ(1, IdentifyUps(&session_));
  EXPECT_EQ("T\r", ups_->Commands().front());
  EXPECT_EQ("&K\r", ups_->Commands()[1]);
  EXPECT_EQ("OK\r", client.Receive());
}

// Polling: a text UPS that answers `passes` whole passes and then "NG" to
// everything.
class PollTest : public MonitorTest {
 protected:
  void StartPassingUps(int passes, std::map<std::string, std::string> answers =
                                       TextUpsAnswers()) {
    StartUps([this, answers, passes](const std::string& command,
                                     std::string* answer) {
      bool refuse = q1_ >= passes;
      if (command == "Q1\r") ++q1_;
      *answer = refuse ? "NG\r" : answers.at(command);
      return true;
    });
    SetMode(0);
  }

  std::atomic<int> q1_{0};
};

TEST_F(PollTest, PassesSendValuesConditionsAndTheBatteryFigure) {
  StartPassingUps(2);
  EXPECT_EQ(0, PollUps(&session_));
  // Two passes, then "&S1" refused four times in a row.
  EXPECT_EQ((Strings{"&S1\r", "QQ\r", "&R\r", "Q1\r", "&S1\r", "QQ\r", "&R\r",
                     "Q1\r", "&S1\r", "&S1\r", "&S1\r", "&S1\r"}),
            ups_->Commands());

  // "QQ": 1010 and 1000 in tenths, 8 characters skipped, the load 35 as
  // read, 500, 500, 0275, 250 and 005 in tenths; the ASCII UPS's power as
  // tag 201. "Q1": 101.0, (skipped), 100.0, 035, 50.0, 27.5, 25.0.
  const std::string qq =
      "192=101 160=100 172=35 208=50 176=50 64=27.5 88=25 201=0.5";
  const std::string q1 = "192=101 160=100 172=35 208=50 64=27.5 88=25";
  EXPECT_EQ(qq, ValuesOf(meter_.Receive()));
  EXPECT_EQ(q1, ValuesOf(meter_.Receive()));
  EXPECT_EQ(qq, ValuesOf(meter_.Receive()));
  EXPECT_EQ(q1, ValuesOf(meter_.Receive()));

  // "&R": the three digits from the 11th character.
  EXPECT_EQ("100", records_.Item(7));
  EXPECT_EQ(100, records_.monitor.battery_figure);

  // The first pass reports state byte 02 (group 1 mask bit 1: event 64)
  // as begun: group 1 << 12 | 64 = 0x1040. The second pass changes
  // nothing and sends nothing.
  EXPECT_EQ("85 01 10 40", Hex(events_.Receive()));
  EXPECT_EQ("", events_.Receive(200));

  // After the first pass the summary is refreshed: no event active, so
  // severity 1 in the quiet category 12, which gets its record.
  EXPECT_EQ(1, records_.summary.summary_severity.load());
  EXPECT_EQ(12, records_.summary.summary_category.load());
  EXPECT_EQ((Strings{"status.bat|1|12|????|????"}), records_.launcher.Runs());
}

TEST_F(PollTest, MainsFailureIsReportedAsItsTwoConditions) {
  std::map<std::string, std::string> answers = TextUpsAnswers();
  answers["&S1\r"] = "000600100101100\r";  // state 06: on battery
  StartPassingUps(1, answers);
  EXPECT_EQ(0, PollUps(&session_));
  // Group 1: 06 & 03 = bit 1 (64). Group 2: 06 & 6C = bit 2 (3368), and
  // bit 2 adds bit 1 (3336); table order puts 3368 first.
  // 0x1040; 0x2000 | 3368 = 0x2D28; 0x2000 | 3336 = 0x2D08.
  EXPECT_EQ("85 03 10 40 2D 28 2D 08", Hex(events_.Receive()));
}

TEST_F(PollTest, HighTemperatureOfTheMeterRaisesTheTemperatureCondition) {
  records_.meter_values.tags[88].value.store(55.5f);
  records_.meter_values.tags[88].present.store(1);
  StartPassingUps(1);
  EXPECT_EQ(0, PollUps(&session_));
  // Alarm summary 00 + 01: group 2 mask bit 0, event 304 = 0x130.
  EXPECT_EQ("85 02 10 40 21 30", Hex(events_.Receive()));
}

TEST_F(PollTest, TemperatureBelowTheMarkAddsNothing) {
  records_.meter_values.tags[88].value.store(51.4f);
  records_.meter_values.tags[88].present.store(1);
  StartPassingUps(1);
  EXPECT_EQ(0, PollUps(&session_));
  EXPECT_EQ("85 01 10 40", Hex(events_.Receive()));
}

TEST_F(PollTest, RefusedQqIsRetriedThreeTimesThenTheLinkIsLost) {
  std::map<std::string, std::string> answers = TextUpsAnswers();
  answers["QQ\r"] = "NG\r";
  StartTableUps(answers);
  SetMode(0);
  EXPECT_EQ(0, PollUps(&session_));
  EXPECT_EQ((Strings{"&S1\r", "QQ\r", "QQ\r", "QQ\r", "QQ\r"}),
            ups_->Commands());
}

TEST_F(PollTest, PassWithoutAUsableAnswerEndsThePhase) {
  // Every answer complete but of no use (wrong lengths).
  StartUps([](const std::string&, std::string* answer) {
    *answer = "0\r";
    return true;
  });
  SetMode(0);
  EXPECT_EQ(1, PollUps(&session_));
  EXPECT_EQ((Strings{"&S1\r", "QQ\r", "&R\r", "Q1\r"}), ups_->Commands());
  EXPECT_EQ("", events_.Receive(100));
  EXPECT_TRUE(records_.launcher.Runs().empty());
}

TEST_F(PollTest, PassWithoutItsOwnStatusReportsNothing) {
  // "&S1" answered with a wrong length: QQ, &R and Q1 are used, but the
  // ring entry holds only the start values (state 02), which would invent
  // event 64 if a report were made from it.
  std::map<std::string, std::string> answers = TextUpsAnswers();
  answers["&S1\r"] = "00020\r";
  StartPassingUps(2, answers);
  EXPECT_EQ(0, PollUps(&session_));
  EXPECT_EQ("", events_.Receive(200));
  EXPECT_TRUE(records_.launcher.Runs().empty());
}

TEST_F(PollTest, StopSignalEndsPolling) {
  StartTableUps(TextUpsAnswers());
  SetMode(0);
  SendStopSignal(slot_.endpoint());
  EXPECT_EQ(-1, PollUps(&session_));
  EXPECT_TRUE(ups_->Commands().empty());
}

}  // namespace
}  // namespace zep
