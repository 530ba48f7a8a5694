// The worker table over real loopback endpoints (ports from 47459 down, so
// the service's own ports stay free): the start order, the port walk, the
// stop order, forced ends, the configuration thread, datagrams that must
// not end a worker, and a whole run ended by the shutdown control.
#include "host/worker_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/service_host.h"
#include "host/worker_procedures.h"
#include "host_recorders.h"
#include "test_context.h"

namespace zep {
namespace {

using Strings = std::vector<std::string>;

constexpr int kBase = 47459;
constexpr char kStartRecord[] =
    "status.bat|1|100|Start Service|ZEPVersion Information";
constexpr char kStopRecord[] = "status.bat|1|101|Stop Service";
// The test context reads its message files from a directory that does not
// exist, which the start reports.
constexpr char kNoMessagesRecord[] =
    "status.bat|2|130|Installation problem|Message files|level.msg cannot be "
    "opened (No such file or directory); the built-in texts are used";

EventLog* g_log = nullptr;
ManualResetEvent* g_hold = nullptr;

std::string KindName(const WorkerSlot* slot) {
  return std::to_string(static_cast<int>(slot->kind_code));
}

// The placeholder loop, with its start and end logged.
void LoggingWorker(WorkerSlot* slot) {
  g_log->Add("run " + KindName(slot));
  PlaceholderWorker(slot);
  g_log->Add("end " + KindName(slot));
}

// Ends at once, as a worker whose socket failed would.
void FailingWorker(WorkerSlot* slot) { g_log->Add("quit " + KindName(slot)); }

// Ignores the stop signal until the test lets it go.
void HangingWorker(WorkerSlot* slot) {
  g_log->Add("run " + KindName(slot));
  g_hold->Wait(-1);
}

std::string LogFullOrRefresh(bool full) {
  g_log->Add(full ? "load full" : "load refresh");
  return std::string();
}
void LogSerialClosed() { g_log->Add("serial closed"); }
void LogSocketsReleased() { g_log->Add("sockets released"); }
int LogUpsShutdown(ServiceContext&) {
  g_log->Add("ups shutdown");
  return 1;
}

const WorkerRow kLoggingRows[kUsedWorkerSlots] = {
    {1, &LoggingWorker},    {2, &LoggingWorker}, {0x85, &LoggingWorker},
    {0x8F, &LoggingWorker}, {3, &LoggingWorker}, {4, &LoggingWorker},
};

const WorkerRow kOneFailingRow[kUsedWorkerSlots] = {
    {1, &LoggingWorker},    {2, &LoggingWorker}, {0x85, &LoggingWorker},
    {0x8F, &FailingWorker}, {3, &LoggingWorker}, {4, &LoggingWorker},
};

const WorkerRow kOneHangingRow[kUsedWorkerSlots] = {
    {1, &LoggingWorker},    {2, &LoggingWorker}, {0x85, &HangingWorker},
    {0x8F, &LoggingWorker}, {3, &LoggingWorker}, {4, &LoggingWorker},
};

// The placeholder loop in every slot but the configuration worker's, which
// is the service's own: the other workers need records these tests do not
// build.
const WorkerRow kPlaceholderRows[kUsedWorkerSlots] = {
    {1, &PlaceholderWorker},    {2, &PlaceholderWorker},
    {0x85, &PlaceholderWorker}, {0x8F, &PlaceholderWorker},
    {3, &PlaceholderWorker},    {4, &ConfigurationWorker},
};

// The hooks of the table's tests on a context that has its launcher and
// message tables.
void FillTestContext(ServiceContext& context) {
  // No message files there: the records carry their built-in texts.
  context.message_directory = "zep-test-no-such-directory/";
  context.base_port = kBase;
  context.worker_rows = kLoggingRows;
  context.load_configuration = &LogFullOrRefresh;
  context.close_serial_port = &LogSerialClosed;
  context.release_sockets = &LogSocketsReleased;
  context.ups_shutdown_sequence = &LogUpsShutdown;
}

class WorkerTableTest : public ::testing::Test {
 protected:
  WorkerTableTest()
      : sink_(&log_),
        sink_scope_(&sink_),
        records_(kWithLauncher | kWithMessages, 0, &log_) {
    g_log = &log_;
    FillTestContext(records_.context);
    records_.context.stop_event.store(&stop_event_);
    ProcessHost().status.Clear();
  }
  ~WorkerTableTest() override {
    ClearWorkerTable(table_);
    g_log = nullptr;
  }

  // Index of the first entry that begins with `prefix`, or -1.
  int FirstWith(const std::string& prefix) {
    Strings entries = log_.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].compare(0, prefix.size(), prefix) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }
  int LastWith(const std::string& prefix) {
    Strings entries = log_.Entries();
    for (size_t i = entries.size(); i-- > 0;) {
      if (entries[i].compare(0, prefix.size(), prefix) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }
  int CountWith(const std::string& prefix) {
    return static_cast<int>(StartingWith(log_.Entries(), prefix).size());
  }
  Strings StatusEntries() { return StartingWith(log_.Entries(), "status "); }

  EventLog log_;
  RecordingSink sink_;
  ProcessSinkScope sink_scope_;
  TestContext records_;
  ManualResetEvent stop_event_;
  WorkerTable table_;
};

TEST_F(WorkerTableTest, StartAnnouncesBeforeAnyWorkerRunsOnPortsWalkingDown) {
  ASSERT_EQ(1, StartWorkers(table_, records_.context));
  ASSERT_TRUE(log_.WaitFor("run 4"));
  for (const char* run : {"run 1", "run 2", "run 133", "run 143", "run 3"}) {
    ASSERT_TRUE(log_.WaitFor(run)) << run;
  }
  // The settings and the message files come first, then the announcement,
  // then the workers.
  EXPECT_EQ(0, log_.IndexOf("load full"));
  EXPECT_EQ(1, log_.IndexOf(kNoMessagesRecord));
  EXPECT_EQ(2, log_.IndexOf(kStartRecord));
  EXPECT_EQ(3, FirstWith("run "));

  const uint8_t kinds[] = {1, 2, 0x85, 0x8F, 3, 4};
  for (int i = 0; i < kUsedWorkerSlots; ++i) {
    const WorkerSlot& slot = table_.slots[i];
    EXPECT_EQ(kinds[i], slot.kind_code) << i;
    EXPECT_EQ(kBase - i, slot.endpoint.bound_port) << i;
    // Only the external command port takes datagrams from other programs.
    EXPECT_EQ(i != 4, slot.endpoint.internal_only) << i;
    EXPECT_TRUE(slot.thread != nullptr) << i;
    EXPECT_EQ(&records_.context, slot.context) << i;
  }
  for (int i = kUsedWorkerSlots; i < kWorkerSlotCount; ++i) {
    EXPECT_EQ(0, table_.slots[i].kind_code) << i;
    EXPECT_EQ(kNoSocket, table_.slots[i].endpoint.socket) << i;
    EXPECT_TRUE(table_.slots[i].thread == nullptr) << i;
  }
  StopWorkers(table_, records_.context);
}

TEST_F(WorkerTableTest, StopAnnouncesFirstSignalsEveryWorkerAndClosesInOrder) {
  ASSERT_EQ(1, StartWorkers(table_, records_.context));
  ASSERT_TRUE(log_.WaitFor("run 4"));
  StopWorkers(table_, records_.context);

  int stop_record = log_.IndexOf(kStopRecord);
  ASSERT_GE(stop_record, 0);
  EXPECT_LT(stop_record, FirstWith("end "));
  // Each worker left its loop on the stop signal; none was ended by force.
  for (int i = 0; i < kUsedWorkerSlots; ++i) {
    EXPECT_TRUE(table_.slots[i].ended.load()) << i;
    EXPECT_EQ(kNoSocket, table_.slots[i].endpoint.socket) << i;
  }
  EXPECT_EQ(6, CountWith("end "));
  // The port is closed once no worker is left, then the endpoints, then
  // the socket library.
  EXPECT_GT(log_.IndexOf("serial closed"), LastWith("end "));
  EXPECT_GT(log_.IndexOf("sockets released"), log_.IndexOf("serial closed"));
  // A fresh checkpoint before each of the six waits.
  EXPECT_EQ(
      (Strings{"status 3/3000/1/0", "status 3/3000/2/0", "status 3/3000/3/0",
               "status 3/3000/4/0", "status 3/3000/5/0", "status 3/3000/6/0"}),
      StatusEntries());
}

TEST_F(WorkerTableTest, FailedStartMakesNoThreadAndStillStopsCleanly) {
  records_.context.base_port = 70000;  // no endpoint can be opened there
  EXPECT_EQ(0, RunService(table_, records_.context, &stop_event_));
  for (const WorkerSlot& slot : table_.slots) {
    EXPECT_TRUE(slot.thread == nullptr);
  }
  // Never running: start pending, then straight to stop pending, and the
  // stop still announced; no worker to wait for.
  EXPECT_EQ((Strings{"load full", kNoMessagesRecord, "status 2/1000/1/1",
                     "status 3/1000/1/0", kStopRecord, "serial closed",
                     "sockets released"}),
            log_.Entries());
}
TEST_F(WorkerTableTest, RunHookReportsTheRunAndStopsOnTheEvent) {
  int result = -1;
  std::thread service(
      [&] { result = RunService(table_, records_.context, &stop_event_); });
  ASSERT_TRUE(log_.WaitFor("status 4/0/0/5"));
  stop_event_.Set();  // a stop request
  service.join();
  EXPECT_EQ(1, result);
  EXPECT_EQ(
      (Strings{"status 2/1000/1/1", "status 4/0/0/5", "status 3/1000/1/0",
               "status 3/3000/2/0", "status 3/3000/3/0", "status 3/3000/4/0",
               "status 3/3000/5/0", "status 3/3000/6/0", "status 3/3000/7/0"}),
      StatusEntries());
  EXPECT_LT(log_.IndexOf(kStartRecord), log_.IndexOf("status 2/1000/1/1"));
}

TEST_F(WorkerTableTest, EndOfAnyWorkerEndsTheRun) {
  records_.context.worker_rows = kOneFailingRow;
  EXPECT_EQ(1, RunService(table_, records_.context, &stop_event_));
  EXPECT_GE(log_.IndexOf("quit 143"), 0);
  for (int i = 0; i < kUsedWorkerSlots; ++i)
    EXPECT_TRUE(table_.slots[i].ended.load()) << i;
}

TEST_F(WorkerTableTest, LocalDatagramsNeverEndAWorker) {
  records_.context.worker_rows = kPlaceholderRows;
  ASSERT_EQ(1, StartWorkers(table_, records_.context));
  UdpEndpoint sender;
  ASSERT_GE(OpenEndpoint(&sender, 0), 0);
  const std::vector<uint8_t> garbage = {0xFF, 0x00, 0x85, 0x41};
  const std::vector<uint8_t> oversize(2000,
                                      0x8F);  // beyond the 1024-byte buffer
  for (int i = 0; i < kUsedWorkerSlots; ++i) {
    SetPeerPort(&sender, table_.slots[i].endpoint.bound_port);
    SendToPeer(&sender, garbage.data(), static_cast<int>(garbage.size()));
    SendToPeer(&sender, oversize.data(), static_cast<int>(oversize.size()));
    SendToPeer(&sender, "", 0);  // empty, but not from the worker's own port
  }
  // The configuration worker reloads once for each datagram it accepts.
  ASSERT_TRUE(log_.WaitFor("load full", 3));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(stop_event_.IsSet());
  for (int i = 0; i < kUsedWorkerSlots; ++i)
    EXPECT_FALSE(table_.slots[i].ended.load()) << i;
  StopWorkers(table_, records_.context);
  for (int i = 0; i < kUsedWorkerSlots; ++i)
    EXPECT_TRUE(table_.slots[i].ended.load()) << i;
  CloseEndpoint(&sender);
}

TEST_F(WorkerTableTest, StartForgetsTheEventsAndTheUpsOfTheLastRun) {
  ActiveEventTable* events = &records_.events;
  EventSummary* summary = &records_.summary;
  UpsState* ups = &records_.ups_state;
  // What a run left behind: the mains failure 3368 (Caution) active, the
  // summary pointing at it, a binary UPS identified.
  events->slots[3368].severity.store(2);
  events->slots[3368].stamp.store(1700000000);
  events->severity_counts[2].store(1);
  events->last_clear_stamp.store(1690000000);
  summary->summary_total.store(1);
  summary->summary_severity.store(2);
  summary->summary_stamp.store(1700000000);
  summary->summary_kind.store(3);
  summary->summary_category.store(2);
  ups->protocol_mode.store(1);
  records_.context.events = events;
  records_.context.summary = summary;
  records_.context.ups_state = ups;
  ASSERT_EQ(1, StartWorkers(table_, records_.context));
  EXPECT_EQ(0, events->slots[3368].severity.load());
  EXPECT_EQ(0, events->slots[3368].stamp.load());
  EXPECT_EQ(0, events->severity_counts[2].load());
  EXPECT_EQ(0, events->last_clear_stamp.load());
  EXPECT_EQ(0, summary->summary_total.load());
  EXPECT_EQ(0, summary->summary_severity.load());
  EXPECT_EQ(0, summary->summary_stamp.load());
  EXPECT_EQ(0, summary->summary_kind.load());
  EXPECT_EQ(0, summary->summary_category.load());
  EXPECT_EQ(-1, ups->protocol_mode.load());
  StopWorkers(table_, records_.context);
}

TEST_F(WorkerTableTest, ConfigurationThreadLoadsFullUntilTheProtocolIsKnown) {
  records_.context.worker_rows = kPlaceholderRows;
  UpsState* ups = &records_.ups_state;
  records_.context.ups_state = ups;
  ASSERT_EQ(1, StartWorkers(table_, records_.context));
  EXPECT_EQ(-1, ups->protocol_mode.load());  // reset by the start
  EXPECT_EQ(1, log_.Count("load full"));
  SendToLocalPort(table_.slots[5].endpoint.bound_port, "x", 1);
  ASSERT_TRUE(log_.WaitFor("load full", 2));
  ups->protocol_mode.store(0);  // a text UPS was identified
  SendToLocalPort(table_.slots[5].endpoint.bound_port, "x", 1);
  ASSERT_TRUE(log_.WaitFor("load refresh"));
  StopWorkers(table_, records_.context);
  EXPECT_EQ(2, log_.Count("load full"));
  EXPECT_EQ(1, log_.Count("load refresh"));
}

TEST(WorkerTableForcedEndTest, WorkerThatIgnoresTheStopIsEndedAfterTheWait) {
  // Never freed: on POSIX the hanging thread is let go and may outlive the
  // test.
  static EventLog& log = *new EventLog;
  static ManualResetEvent& hold = *new ManualResetEvent;
  static ManualResetEvent& stop_event = *new ManualResetEvent;
  static TestContext& records =
      *new TestContext(kWithLauncher | kWithMessages, 0, &log);
  static WorkerTable& table = *new WorkerTable;
  ServiceContext& context = records.context;
  g_log = &log;
  g_hold = &hold;
  FillTestContext(context);
  context.worker_rows = kOneHangingRow;
  context.stop_wait_ms = 200;
  context.stop_event.store(&stop_event);
  ASSERT_EQ(1, StartWorkers(table, context));
  ASSERT_TRUE(log.WaitFor("run 133"));
  StopWorkers(table, context);
  EXPECT_FALSE(table.slots[2].ended.load());
  for (int i : {0, 1, 3, 4, 5}) EXPECT_TRUE(table.slots[i].ended.load()) << i;
  EXPECT_GT(log.IndexOf("serial closed"), 0);
  hold.Set();
}

// The whole path of a computer shutdown, which Wine's service manager never
// delivers: the process host runs the service body on this test's table.
WorkerTable* g_table = nullptr;
ServiceContext* g_context = nullptr;
int TestRunHook(ManualResetEvent* stop_event) {
  return RunService(*g_table, *g_context, stop_event);
}
int TestShutdownHook() { return ShutdownService(*g_context); }
int TestStopHook() { return 0; }

TEST_F(WorkerTableTest, ShutdownControlRunsTheUpsSequenceThenStopsInOrder) {
  HostState& host = ProcessHost();
  ServiceDescriptor saved = host.descriptor;
  g_table = &table_;
  g_context = &records_.context;
  host.descriptor.run_hook = &TestRunHook;
  host.descriptor.shutdown_hook = &TestShutdownHook;
  host.descriptor.stop_hook = &TestStopHook;
  std::thread service([&] { RunServiceWorker(host); });
  ASSERT_TRUE(log_.WaitFor("status 4/0/0/5"));
  ServiceControlHandler(host, kControlShutdown);
  service.join();
  host.descriptor = saved;

  EXPECT_EQ(
      (Strings{"status 2/1000/1/1", "status 2/1000/2/1", "status 4/0/0/5",
               "status 3/3000/1/0", "status 3/3000/2/0", "status 3/1000/3/0",
               "status 3/3000/4/0", "status 3/3000/5/0", "status 3/3000/6/0",
               "status 3/3000/7/0", "status 3/3000/8/0", "status 3/3000/9/0",
               "status 1/0/0/0"}),
      StatusEntries());
  // The UPS is told before the workers are stopped.
  EXPECT_GT(log_.IndexOf("ups shutdown"), log_.IndexOf("status 3/3000/2/0"));
  EXPECT_LT(log_.IndexOf("ups shutdown"), log_.IndexOf(kStopRecord));
  EXPECT_LT(log_.IndexOf(kStopRecord), FirstWith("end "));
}

}  // namespace
}  // namespace zep
