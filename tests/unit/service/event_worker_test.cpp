// The event thread on datagrams written out byte by byte. An entry is two
// bytes: bit 7 of the first set when the condition ended, bits 5-4 the
// severity, bits 3-0 and the second byte the code. So, with severity 2,
// 3368 (0x0D28) began is 2D 28 and ended AD 28; 2177 (0x0881) began is
// 28 81; 304 (0x0130) is 21 30 / A1 30; 3200 (0x0C80) is 2C 80 / AC 80;
// 3880 (0x0F28) with severity 3 is 3F 28 / BF 28.
#include "events/event_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/scratch_files.h"
#include "events/event_decisions.h"
#include "host_recorders.h"
#include "test_context.h"
#include "udp.h"
#include "worker_on_thread.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

constexpr int32_t kNow = 1700000000;

class EventWorkerTest : public ::testing::Test {
 protected:
  EventWorkerTest()
      : settings_({"ZEP_PF_WAIT", "ZEP_LB_WAIT", "ZEP_AWAY_MODE"}),
        records_(kWithLauncher | kWithMessages | kWithMonitor | kWithEvents |
                     kWithSummary | kWithUpsState | kWithClock,
                 kNow) {}

  int Handle(const Bytes& bytes) {
    return HandleEventDatagram(records_.context, bytes.data(),
                               static_cast<int>(bytes.size()));
  }
  int32_t PowerFail() const {
    return records_.monitor.power_fail_active.load();
  }
  int32_t LowBattery() const {
    return records_.monitor.low_battery_active.load();
  }

  EnvironmentGuard settings_;
  TestContext records_;
};

TEST_F(EventWorkerTest, ScriptsAndFlagsFollowTheEntries) {
  struct Case {
    const char* what;
    Bytes datagram;
    PowerFlags before;
    Strings runs;
    PowerFlags after;
  };
  const Case cases[] = {
      {"mains failure with the battery low: an emergency only",
       {0x85, 0x02, 0x2D, 0x28, 0x28, 0x81},
       {0, 0},
       {"event.bat|1|2|3368", "event.bat|1|2|2177", "emergency.bat"},
       {1, 1}},
      {"mains failure",
       {0x85, 0x01, 0x2D, 0x28},
       {0, 0},
       {"event.bat|1|2|3368", "powerfail.bat"},
       {1, 0}},
      {"battery low with the mains present: the event only",
       {0x85, 0x01, 0x28, 0x81},
       {0, 0},
       {"event.bat|1|2|2177"},
       {0, 1}},
      {"battery low during a mains failure",
       {0x85, 0x01, 0x28, 0x81},
       {1, 0},
       {"event.bat|1|2|2177", "emergency.bat"},
       {1, 1}},
      {"battery back during a mains failure",
       {0x85, 0x01, 0xA8, 0x81},
       {1, 1},
       {"event.bat|0|2|2177"},
       {1, 0}},
      {"mains back",
       {0x85, 0x01, 0xAD, 0x28},
       {1, 1},
       {"event.bat|0|2|3368", "powerrecovery.bat"},
       {0, 1}},
      {"an end, then a new beginning: a power failure",
       {0x85, 0x02, 0xAD, 0x28, 0x2D, 0x28},
       {1, 0},
       {"event.bat|0|2|3368", "event.bat|1|2|3368", "powerfail.bat"},
       {1, 0}},
      {"a beginning, then an end: a recovery",
       {0x85, 0x02, 0x2D, 0x28, 0xAD, 0x28},
       {0, 0},
       {"event.bat|1|2|3368", "event.bat|0|2|3368", "powerrecovery.bat"},
       {0, 0}},
      {"link back and mains back: the recovery all the same",
       {0x85, 0x02, 0xBF, 0x28, 0xAD, 0x28},
       {1, 0},
       {"event.bat|0|3|3880", "event.bat|0|2|3368", "powerrecovery.bat"},
       {0, 0}},
      {"mains failure announced again: no second power failure",
       {0x85, 0x01, 0x2D, 0x28},
       {1, 0},
       {"event.bat|1|2|3368"},
       {1, 0}},
      {"both announced again: no second emergency",
       {0x85, 0x02, 0x2D, 0x28, 0x28, 0x81},
       {1, 1},
       {"event.bat|1|2|3368", "event.bat|1|2|2177"},
       {1, 1}},
      {"mains failure announced again, the battery newly low: an emergency",
       {0x85, 0x02, 0x2D, 0x28, 0x28, 0x81},
       {1, 0},
       {"event.bat|1|2|3368", "event.bat|1|2|2177", "emergency.bat"},
       {1, 1}},
      {"link lost leaves the flags alone",
       {0x85, 0x01, 0x3F, 0x28},
       {1, 1},
       {"event.bat|1|3|3880"},
       {1, 1}},
      {"temperature and overload, for beginnings and ends",
       {0x85, 0x03, 0x21, 0x30, 0xAC, 0x80, 0xA1, 0x30},
       {0, 0},
       {"event.bat|1|2|304", "event.bat|0|2|3200", "event.bat|0|2|304",
        "temperature.bat|1", "overload.bat|0", "temperature.bat|0"},
       {0, 0}},
      // Severities 3, 0 and 1 on ended entries of 0x0123 = 291.
      {"severities of ended entries as they came",
       {0x85, 0x03, 0xB1, 0x23, 0x81, 0x23, 0x91, 0x23},
       {0, 0},
       {"event.bat|0|3|291", "event.bat|0|0|291", "event.bat|0|1|291"},
       {0, 0}},
      // The count says 3; two entries and a stray byte arrived.
      {"only the entries that arrived",
       {0x85, 0x03, 0x21, 0x30, 0x28, 0x81, 0x2D},
       {0, 0},
       {"event.bat|1|2|304", "event.bat|1|2|2177", "temperature.bat|1"},
       {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingLauncher launcher;
    records_.context.launcher = &launcher;
    records_.monitor.power_fail_active.store(c.before.power_fail_active);
    records_.monitor.low_battery_active.store(c.before.low_battery_active);
    Handle(c.datagram);
    EXPECT_EQ(c.runs, launcher.Runs());
    EXPECT_EQ(c.after.power_fail_active, PowerFail());
    EXPECT_EQ(c.after.low_battery_active, LowBattery());
  }
}

TEST_F(EventWorkerTest, ChangesGoIntoTheActiveEventTable) {
  EXPECT_EQ(2, Handle({0x85, 0x02, 0x2D, 0x28, 0x38, 0x81}));
  EXPECT_EQ(2, EventSeverity(records_.events, 3368));
  EXPECT_EQ(3, EventSeverity(records_.events, 2177));
  EXPECT_EQ(kNow, EventStamp(records_.events, 2177));
  records_.clock.SetSeconds(kNow + 60);
  Handle({0x85, 0x01, 0xAD, 0x28});
  EXPECT_EQ(0, EventSeverity(records_.events, 3368));
  EXPECT_EQ(kNow + 60, records_.events.last_clear_stamp.load());
}

TEST_F(EventWorkerTest, PowerFailureGetsTheItemsAndTheWait) {
  records_.SetItem(7, "100");
  records_.SetItem(8, "35");
  records_.SetItem(10, "0.9");
  records_.SetItem(11, "31.5");
  Handle({0x85, 0x01, 0x2D, 0x28});
  EXPECT_EQ(
      records_.launcher.Runs(),
      (Strings{"event.bat|1|2|3368", "powerfail.bat|35|0.9|31.5|100|300"}));
}

TEST_F(EventWorkerTest, DatagramsWithoutACompleteEntryAreDropped) {
  EXPECT_EQ(0, Handle({0x85, 0x01}));
  EXPECT_EQ(0, Handle({0x85, 0x01, 0x2D}));
  EXPECT_EQ(0, Handle({0x85, 0x00, 0x2D, 0x28}));
  EXPECT_EQ(0, Handle({0x8F, 0x01, 0x2D, 0x28}));
  EXPECT_EQ(0, Handle({0x85}));
  EXPECT_TRUE(records_.launcher.Runs().empty());
  EXPECT_EQ(0, PowerFail());
  EXPECT_EQ(0, records_.summary.summary_kind.load());
}

TEST_F(EventWorkerTest, SummaryAndRecordsAreRefreshedUnlessTheLinkCameBack) {
  records_.context.status_counters = &records_.counters;
  // The link back, with the mains back: no refresh, which over no active
  // event would have made the kind 1, and no status record.
  records_.monitor.power_fail_active.store(1);
  Handle({0x85, 0x02, 0xBF, 0x28, 0xAD, 0x28});
  EXPECT_EQ(0, records_.summary.summary_kind.load());
  EXPECT_EQ(records_.launcher.Runs(),
            (Strings{"event.bat|0|3|3880", "event.bat|0|2|3368",
                     "powerrecovery.bat"}));

  Handle({0x85, 0x01, 0x2D, 0x28});
  EXPECT_EQ(1, records_.summary.summary_total.load());
  EXPECT_EQ(2, records_.summary.summary_severity.load());
  EXPECT_EQ(2, records_.summary.summary_kind.load());
  EXPECT_EQ(kNow, records_.summary.summary_stamp.load());
  // Code 0xD28: second hex digit 13, category 21; the record has level 2
  // and category 21, neither named in the (empty) message files.
  EXPECT_EQ(21, records_.summary.summary_category.load());
  EXPECT_EQ("status.bat|2|21|????|????", records_.launcher.Runs().back());
}

// The thread itself on a loopback endpoint that takes datagrams from this
// process's sockets only, as the service's own do.
TEST_F(EventWorkerTest, ThreadDropsBadDatagramsAndGoesOnUntilTheStopSignal) {
  EventLog log;
  RecordingLauncher launcher(&log);
  records_.context.launcher = &launcher;
  WorkerOnThread worker(47357, true, &records_.context);
  ASSERT_TRUE(worker.opened());
  const int port = worker.port();
  worker.Start(&EventWorker);

  const uint8_t too_short[] = {0x85, 0x02};
  const uint8_t values[] = {0x8F, 0x01, 0x00, 0x00, 0x58, 0x73, 0x15, 0x00};
  const uint8_t mains_failure[] = {0x85, 0x01, 0x2D, 0x28};
  SendToLocalPort(port, too_short, sizeof too_short);
  SendToLocalPort(port, values, sizeof values);
  SendToLocalPort(port, "", 0);  // empty, from another port: not the stop
  SendToLocalPort(port, mains_failure, sizeof mains_failure);
  EXPECT_TRUE(log.WaitFor("powerfail.bat"));
  EXPECT_EQ(log.Entries(), (Strings{"event.bat|1|2|3368", "powerfail.bat"}));

  worker.Stop();
}

}  // namespace
}  // namespace zep
