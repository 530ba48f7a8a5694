// The external command worker on real loopback endpoints (ports from 47660
// and 47690 down): a client's query answered, malformed datagrams outlived,
// and a made command relayed to the port the monitor slot really got, also
// when another program holds one of the ports the workers ask for.
#include "link/external_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/worker_procedures.h"
#include "host/worker_table.h"
#include "host_recorders.h"
#include "test_context.h"
#include "test_endpoint.h"
#include "udp.h"
#include "worker_on_thread.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

// "B" asking for items 1 and 5; checksum 0C^02^42^02^01^05 = 4A. Before
// any stamp both come back as FFFFFFFF; checksum 0C^06^42^02^01^05 = 4E.
const Bytes kQuery = {0x0C, 0x02, 0x42, 0x02, 0x01, 0x00, 0x00, 0x00,
                      0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x4A};
const Bytes kQueryAnswer = {0x0C, 0x06, 0x42, 0x02, 0x01, 0xFF, 0xFF, 0xFF,
                            0xFF, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0x4E};
// "5" with the access literal and its NUL; checksum 6B (worked out in
// external_frames_test.cpp).
const Bytes kPresentLiteral = {0x11, 0x01, 0x35, 'H', 'a',  'r', 'r',
                               'o',  'w',  'D',  'y', 'n',  'a', 'm',
                               'o',  'Z',  'E',  'P', 0x00, 0x6B};
// Sub-command 2 (cancel): 01^01^02 = 02.
const Bytes kCancel = {0x01, 0x01, 0x02, 0x02};

// The frames as the bytes of a datagram.
std::string Raw(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(ExternalWorkerTest, AnswersClientsRelaysCommandsAndOutlivesBadFrames) {
  ConsoleRecorder console;
  TestContext records(kWithSummary);
  records.context.write_console = &ConsoleRecorder::Write;
  // The monitor's endpoint takes only the service's own datagrams.
  TestEndpoint monitor(0);
  monitor.endpoint()->internal_only = true;
  ASSERT_TRUE(monitor.opened());
  records.SetPort(kMonitorSlot, monitor.port());

  // The external command port takes datagrams from any local program.
  int result = 0;
  WorkerOnThread worker(47660, false);
  ASSERT_TRUE(worker.opened());
  worker.Start([&] {
    result = ServeExternalFrames(worker.endpoint(), records.context);
  });
  LoopbackClient client(worker.port());

  EXPECT_EQ(Raw(kQueryAnswer), client.Ask(Raw(kQuery)));

  // A wrong checksum, a length byte that does not match, a datagram that
  // fills the whole buffer and an empty one: all passed over.
  client.Send(Raw({0x01, 0x01, 0x02, 0x03}));
  client.Send(Raw({0x05, 0x02, 0x42, 0x45}));
  client.Send(std::string(1024, '\xFF'));
  client.Send("");
  EXPECT_EQ(Raw(kQueryAnswer), client.Ask(Raw(kQuery)));

  // The literal, then a cancel: both answered with 258 bytes, and "&C\r"
  // reaches the monitor.
  std::string answer = client.Ask(Raw(kPresentLiteral));
  ASSERT_EQ(258u, answer.size());
  EXPECT_EQ('\xFF', answer[0]);
  answer = client.Ask(Raw(kCancel));
  ASSERT_EQ(258u, answer.size());
  EXPECT_EQ('\xFE', answer[257]);  // 01^FF, the request XORing to 0
  EXPECT_EQ("&C\r", monitor.Receive(LoopbackClient::kWaitMs));

  worker.Stop();
  EXPECT_EQ(-1, result);
  // One console line for each well-formed frame, none for the others.
  EXPECT_EQ((std::vector<std::string>{
                "External Size:12 ID:02 Length:12 CMD:42 02 01\r\n",
                "External Size:12 ID:02 Length:12 CMD:42 02 01\r\n",
                "External Size:17 ID:01 Length:17 CMD:35 48 61\r\n",
                "External Size:1 ID:01 Length:1 CMD:02 00 00\r\n"}),
            console.log().Entries());
}

// ---- Ports of the running workers -----------------------------------------

constexpr int kBase = 47690;
EventLog* g_relayed = nullptr;

// Stands for the monitor: logs what reaches its endpoint.
void RecordingMonitor(WorkerSlot* slot) {
  char buffer[1024];
  for (;;) {
    int n = ReceiveDatagram(&slot->endpoint, buffer, sizeof buffer, -1);
    if (n < 0) return;
    if (n > 0) g_relayed->Add(std::string(buffer, static_cast<size_t>(n)));
  }
}

const WorkerRow kRows[kUsedWorkerSlots] = {
    {kWorkerKindUpsIo, &PlaceholderWorker},
    {kWorkerKindMonitor, &RecordingMonitor},
    {kWorkerKindEvent, &PlaceholderWorker},
    {kWorkerKindMeter, &PlaceholderWorker},
    {kWorkerKindExternal, &ExternalWorker},
    {kWorkerKindConfiguration, &PlaceholderWorker},
};

TEST(WorkerPortsTest, CommandsReachTheMonitorWhereverItsPortMoved) {
  EventLog relayed;
  g_relayed = &relayed;
  // Another program holds the port the monitor would get with all free.
  UdpEndpoint other;
  ASSERT_GT(OpenEndpoint(&other, kBase - 1), 0);
  ASSERT_EQ(kBase - 1, other.bound_port);

  TestContext records(kWithSummary);
  ServiceContext& context = records.context;
  context.base_port = kBase;
  context.worker_rows = kRows;
  WorkerTable table;
  ASSERT_EQ(1, StartWorkers(table, context));
  // Slot 0 has the first port; every later slot moved one further down.
  const int expected[kWorkerSlotCount] = {
      kBase, kBase - 2, kBase - 3, kBase - 4, kBase - 5, kBase - 6, 0, 0, 0, 0};
  for (int i = 0; i < kWorkerSlotCount; ++i) {
    EXPECT_EQ(expected[i], WorkerPort(context, i)) << i;
  }
  EXPECT_EQ(0, WorkerPort(context, -1));
  EXPECT_EQ(0, WorkerPort(context, kWorkerSlotCount));

  LoopbackClient client(WorkerPort(context, kExternalSlot));
  client.Ask(Raw(kPresentLiteral));
  client.Ask(Raw(kCancel));
  EXPECT_TRUE(relayed.WaitFor("&C\r"));
  // Nothing went to the fixed number the monitor would have had.
  EXPECT_EQ(0, WaitReadable(&other, 0));

  StopWorkers(table, context);
  for (int i = 0; i < kWorkerSlotCount; ++i) {
    EXPECT_EQ(0, WorkerPort(context, i)) << i;
  }
  ClearWorkerTable(table);
  CloseEndpoint(&other);
  g_relayed = nullptr;
}

}  // namespace
}  // namespace zep
