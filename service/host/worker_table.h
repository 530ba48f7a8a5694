// The service body: the table of worker slots, starting the six workers on
// their own loopback endpoints, stopping them in a fixed order, and the run
// and shutdown hooks that the host calls.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "service_context.h"
#include "threads.h"
#include "udp.h"

namespace zep {

struct WorkerSlot;

/// A worker's procedure; it gets its own slot. It returns when its receive
/// reports the stop signal or a socket error; the thread then sets StopEvent.
using WorkerProcedure = void (*)(WorkerSlot* slot);

constexpr int kWorkerSlotCount = 10;
constexpr int kUsedWorkerSlots = 6;

/// Kind codes of the used slots; non-zero means the slot has an endpoint.
constexpr uint8_t kWorkerKindUpsIo = 1;
constexpr uint8_t kWorkerKindMonitor = 2;
constexpr uint8_t kWorkerKindEvent = 0x85;
constexpr uint8_t kWorkerKindMeter = 0x8F;
constexpr uint8_t kWorkerKindExternal = 3;
constexpr uint8_t kWorkerKindConfiguration = 4;

/// The slots of the six workers; WorkerPort (service_context.h) gives the
/// port each one is bound to in the run.
constexpr int kUpsIoSlot = 0;
constexpr int kMonitorSlot = 1;
constexpr int kEventSlot = 2;
constexpr int kMeterSlot = 3;
/// The external command slot, whose port takes datagrams from any local
/// program; every other worker port takes only the service's own.
constexpr int kExternalSlot = 4;
constexpr int kConfigurationSlot = 5;
static_assert(kWorkerSlotCount == kWorkerPortSlots,
              "the context keeps one port per slot");

struct WorkerSlot {
  /// The worker thread; null when none was created.
  std::unique_ptr<WorkerThread> thread;
  WorkerProcedure procedure = nullptr;
  uint8_t kind_code = 0;
  UdpEndpoint endpoint;
  /// The records of the run.
  ServiceContext* context = nullptr;
  /// Set when the procedure has returned (a forced end never sets it).
  std::atomic<bool> ended{false};
};

/// Ten slots, of which the first six are used.
struct WorkerTable {
  WorkerSlot slots[kWorkerSlotCount];
};

/// The service's own table.
WorkerTable& ProcessWorkerTable();

/// Empties every slot (threads let go, endpoint records reset).
void ClearWorkerTable(WorkerTable& table);

/// Prepares the shared records (UPS state, settings, message files), fills
/// the six slots, opens their endpoints (each asks for the context's base
/// port and takes the next lower free one), creates the threads suspended,
/// announces "Start Service" and resumes the threads in slot order. Returns
/// 1, or 0 at once when an endpoint cannot be opened (no thread is made;
/// what was opened stays open for StopWorkers).
int StartWorkers(WorkerTable& table, ServiceContext& context);

/// Announces "Stop Service", sends every endpoint its stop signal (slot 9
/// down to 0), waits for each thread (stop pending 3000 reported before each
/// wait) and ends it by force after the wait, closes the serial port, closes
/// the endpoints (slot 9 down to 0) and releases the socket library. Also
/// right after a failed start.
void StopWorkers(WorkerTable& table, ServiceContext& context);

/// The run hook: StartWorkers, start pending, running and a wait for the
/// stop event when the start worked, stop pending, StopWorkers. Returns the
/// result of StartWorkers.
int RunService(WorkerTable& table, ServiceContext& context,
               ManualResetEvent* stop_event);

/// The shutdown hook: stop pending with wait 3000, then the context's UPS
/// shutdown sequence (when there is one). Returns 1.
int ShutdownService(ServiceContext& context);

/// The two hooks on the process-wide table and context, for the descriptor.
int ServiceRunHook(ManualResetEvent* stop_event);
int ServiceShutdownHook();

}  // namespace zep
