// The event thread on datagrams written out byte by byte. An entry is two
// bytes: bit 7 of the first set when the condition ended, bits 5-4 the
// severity, bits 3-0 and the second byte the code. So, with severity 2,
// 3368 (0x0D28) began is 2D 28 and ended AD 28; 2177 (0x0881) began is
// 28 81; 304 (0x0130) is 21 30 / A1 30; 3200 (0x0C80) is 2C 80 / AC 80;
// 3880 (0x0F28) with severity 3 is 3F 28 / BF 28.
#include "events/event_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "../common/scratch_files.h"
#include "events/event_decisions.h"
#include "events/status_records.h"
#include "fake_clock.h"
#include "host_recorders.h"
#include "link/monitor_record.h"
#include "message_files.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "udp.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

constexpr int32_t kNow = 1700000000;

class EventWorkerTest : public ::testing::Test {
 protected:
  EventWorkerTest()
      : settings_({"ZEP_PF_WAIT", "ZEP_LB_WAIT", "ZEP_AWAY_MODE"}),
        clock_(kNow) {
    context_.launcher = &launcher_;
    context_.messages = &messages_;
    context_.monitor = &monitor_;
    context_.events = &events_;
    context_.summary = &summary_;
    context_.ups_state = &ups_state_;
    context_.clock = &clock_;
  }

  int Handle(const Bytes& bytes) {
    return HandleEventDatagram(context_, bytes.data(),
                               static_cast<int>(bytes.size()));
  }
  int32_t PowerFail() const { return monitor_.power_fail_active.load(); }
  int32_t LowBattery() const { return monitor_.low_battery_active.load(); }

  EnvironmentGuard settings_;
  FakeClock clock_;
  RecordingLauncher launcher_;
  MessageTables messages_;
  MonitorRecord monitor_;
  ActiveEventTable events_;
  EventSummary summary_;
  UpsState ups_state_;
  ServiceContext context_;
};

TEST_F(EventWorkerTest, MainsFailureWithLowBatteryIsAnEmergencyOnly) {
  EXPECT_EQ(2, Handle({0x85, 0x02, 0x2D, 0x28, 0x28, 0x81}));
  EXPECT_EQ(launcher_.Runs(), (Strings{"event.bat|1|2|3368",
                                       "event.bat|1|2|2177", "emergency.bat"}));
  EXPECT_EQ(1, PowerFail());
  EXPECT_EQ(1, LowBattery());
  EXPECT_EQ(2, EventSeverity(events_, 3368));
  EXPECT_EQ(kNow, EventStamp(events_, 2177));
}

TEST_F(EventWorkerTest, BatteryLowWithMainsPresentOnlyReportsTheEvent) {
  Handle({0x85, 0x01, 0x28, 0x81});
  EXPECT_EQ(launcher_.Runs(), Strings{"event.bat|1|2|2177"});
  EXPECT_EQ(0, PowerFail());
  EXPECT_EQ(1, LowBattery());
}

TEST_F(EventWorkerTest, BatteryLowDuringAFailureTurnsIntoAnEmergency) {
  Handle({0x85, 0x01, 0x2D, 0x28});
  Handle({0x85, 0x01, 0x28, 0x81});
  EXPECT_EQ(launcher_.Runs(), (Strings{"event.bat|1|2|3368", "powerfail.bat",
                                       "event.bat|1|2|2177", "emergency.bat"}));
}

TEST_F(EventWorkerTest, PowerFailureGetsTheItemsAndTheWait) {
  SetInfoString(&messages_.info_strings, 7, "100");
  SetInfoString(&messages_.info_strings, 8, "35");
  SetInfoString(&messages_.info_strings, 10, "0.9");
  SetInfoString(&messages_.info_strings, 11, "31.5");
  Handle({0x85, 0x01, 0x2D, 0x28});
  EXPECT_EQ(launcher_.Runs(), (Strings{"event.bat|1|2|3368",
                                       "powerfail.bat|35|0.9|31.5|100|300"}));
}

TEST_F(EventWorkerTest, MainsBackGivesARecoveryAndClearsTheFlag) {
  monitor_.power_fail_active.store(1);
  SetActiveEvent(events_, 3368, 2, kNow - 60);
  Handle({0x85, 0x01, 0xAD, 0x28});
  EXPECT_EQ(launcher_.Runs(),
            (Strings{"event.bat|0|2|3368", "powerrecovery.bat"}));
  EXPECT_EQ(0, PowerFail());
  EXPECT_EQ(0, EventSeverity(events_, 3368));
}

TEST_F(EventWorkerTest, AnEndThenANewBeginningInOneDatagramIsAPowerFailure) {
  monitor_.power_fail_active.store(1);
  Handle({0x85, 0x02, 0xAD, 0x28, 0x2D, 0x28});
  EXPECT_EQ(launcher_.Runs(), (Strings{"event.bat|0|2|3368",
                                       "event.bat|1|2|3368", "powerfail.bat"}));
  EXPECT_EQ(1, PowerFail());
}

TEST_F(EventWorkerTest, TemperatureAndOverloadRunForBeginningsAndEnds) {
  Handle({0x85, 0x03, 0x21, 0x30, 0xAC, 0x80, 0xA1, 0x30});
  EXPECT_EQ(
      launcher_.Runs(),
      (Strings{"event.bat|1|2|304", "event.bat|0|2|3200", "event.bat|0|2|304",
               "temperature.bat|1", "overload.bat|0", "temperature.bat|0"}));
}

TEST_F(EventWorkerTest, SeverityOfEndedEntriesIsPassedAsItCame) {
  // Severities 3, 0 and 1 on ended entries of code 0x0123 = 291.
  Handle({0x85, 0x03, 0xB1, 0x23, 0x81, 0x23, 0x91, 0x23});
  EXPECT_EQ(launcher_.Runs(), (Strings{"event.bat|0|3|291", "event.bat|0|0|291",
                                       "event.bat|0|1|291"}));
}

TEST_F(EventWorkerTest, OnlyTheEntriesThatArrivedAreRead) {
  // The count says 3; two entries arrived and a stray byte after them.
  EXPECT_EQ(2, Handle({0x85, 0x03, 0x21, 0x30, 0x28, 0x81, 0x2D}));
  EXPECT_EQ(launcher_.Runs(),
            (Strings{"event.bat|1|2|304", "event.bat|1|2|2177",
                     "temperature.bat|1"}));
  EXPECT_EQ(0, PowerFail());
}

TEST_F(EventWorkerTest, DatagramsWithoutACompleteEntryAreDropped) {
  EXPECT_EQ(0, Handle({0x85, 0x01}));
  EXPECT_EQ(0, Handle({0x85, 0x01, 0x2D}));
  EXPECT_EQ(0, Handle({0x85, 0x00, 0x2D, 0x28}));
  EXPECT_EQ(0, Handle({0x8F, 0x01, 0x2D, 0x28}));
  EXPECT_EQ(0, Handle({0x85}));
  EXPECT_TRUE(launcher_.Runs().empty());
  EXPECT_EQ(0, PowerFail());
  EXPECT_EQ(0, summary_.summary_kind.load());
}

TEST_F(EventWorkerTest, SummaryIsRefreshedAfterEachDatagram) {
  Handle({0x85, 0x01, 0x2D, 0x28});
  EXPECT_EQ(1, summary_.summary_total.load());
  EXPECT_EQ(2, summary_.summary_severity.load());
  EXPECT_EQ(2, summary_.summary_kind.load());
  EXPECT_EQ(kNow, summary_.summary_stamp.load());
  // Code 0xD28: second hex digit 13, category 21.
  EXPECT_EQ(21, summary_.summary_category.load());
}

TEST_F(EventWorkerTest, LinkBackSkipsTheSummaryButNotTheRecovery) {
  monitor_.power_fail_active.store(1);
  Handle({0x85, 0x02, 0xBF, 0x28, 0xAD, 0x28});
  EXPECT_EQ(launcher_.Runs(),
            (Strings{"event.bat|0|3|3880", "event.bat|0|2|3368",
                     "powerrecovery.bat"}));
  // Untouched: a refresh would have made the kind 1 (nothing active).
  EXPECT_EQ(0, summary_.summary_kind.load());
}

TEST_F(EventWorkerTest, StatusRecordOfTheCategoryFollowsTheRefresh) {
  StatusRecordCounters counters;
  context_.status_counters = &counters;
  Handle({0x85, 0x01, 0x2D, 0x28});
  // Level 2 and category 21, neither named in the (empty) message files.
  EXPECT_EQ(launcher_.Runs(), (Strings{"event.bat|1|2|3368", "powerfail.bat",
                                       "status.bat|2|21|????|????"}));
}

TEST_F(EventWorkerTest, LinkLostLeavesTheFlagsAlone) {
  monitor_.power_fail_active.store(1);
  monitor_.low_battery_active.store(1);
  Handle({0x85, 0x01, 0x3F, 0x28});
  EXPECT_EQ(launcher_.Runs(), Strings{"event.bat|1|3|3880"});
  EXPECT_EQ(1, PowerFail());
  EXPECT_EQ(1, LowBattery());
}

TEST(EventPlanTest, ActionMaskAndPriorityFollowTheFlagsAfterTheEntries) {
  struct Case {
    std::vector<EventEntry> entries;
    PowerFlags before;
    int mask;
    EventScript last;
    PowerFlags after;
  };
  const EventEntry mains_on{true, 2, 3368};
  const EventEntry mains_off{false, 2, 3368};
  const EventEntry low_on{true, 2, 2177};
  const EventEntry low_off{false, 2, 2177};
  const EventEntry link_back{false, 3, 3880};
  const Case cases[] = {
      {{mains_on}, {0, 0}, 1, EventScript::kPowerFail, {1, 0}},
      {{mains_on}, {0, 1}, 2, EventScript::kEmergency, {1, 1}},
      {{low_on}, {1, 0}, 2, EventScript::kEmergency, {1, 1}},
      {{low_off}, {1, 1}, 0, EventScript::kEvent, {1, 0}},
      {{mains_off}, {1, 1}, 4, EventScript::kPowerRecovery, {0, 1}},
      // Began then ended in one datagram: the flag ends clear.
      {{mains_on, mains_off}, {0, 0}, 4, EventScript::kPowerRecovery, {0, 0}},
      {{mains_on, low_on}, {0, 0}, 2, EventScript::kEmergency, {1, 1}},
      {{link_back, mains_on}, {0, 0}, 9, EventScript::kPowerFail, {1, 0}},
  };
  for (const Case& c : cases) {
    EventPlan plan = PlanEvents(c.entries.data(),
                                static_cast<int>(c.entries.size()), c.before);
    SCOPED_TRACE(testing::Message() << "case with mask " << c.mask);
    EXPECT_EQ(c.mask, plan.action_mask);
    ASSERT_FALSE(plan.scripts.empty());
    EXPECT_EQ(c.last, plan.scripts.back().script);
    EXPECT_EQ(c.after.power_fail_active, plan.flags.power_fail_active);
    EXPECT_EQ(c.after.low_battery_active, plan.flags.low_battery_active);
    EXPECT_EQ((c.mask & 8) == 0, plan.refresh_summary);
  }
}

// The thread itself on a loopback endpoint that takes datagrams from this
// process's sockets only, as the service's own do.
TEST_F(EventWorkerTest, ThreadDropsBadDatagramsAndGoesOnUntilTheStopSignal) {
  EventLog log;
  RecordingLauncher launcher(&log);
  context_.launcher = &launcher;
  WorkerSlot slot;
  slot.context = &context_;
  slot.endpoint.internal_only = true;
  ASSERT_GT(OpenEndpoint(&slot.endpoint, 47357), 0);
  const int port = slot.endpoint.bound_port;
  std::thread worker([&slot] { EventWorker(&slot); });

  const uint8_t too_short[] = {0x85, 0x02};
  const uint8_t values[] = {0x8F, 0x01, 0x00, 0x00, 0x58, 0x73, 0x15, 0x00};
  const uint8_t mains_failure[] = {0x85, 0x01, 0x2D, 0x28};
  SendToLocalPort(port, too_short, sizeof too_short);
  SendToLocalPort(port, values, sizeof values);
  SendToLocalPort(port, "", 0);  // empty, from another port: not the stop
  SendToLocalPort(port, mains_failure, sizeof mains_failure);
  EXPECT_TRUE(log.WaitFor("powerfail.bat"));
  EXPECT_EQ(log.Entries(), (Strings{"event.bat|1|2|3368", "powerfail.bat"}));

  SendStopSignal(&slot.endpoint);
  worker.join();
  CloseEndpoint(&slot.endpoint);
}

}  // namespace
}  // namespace zep
