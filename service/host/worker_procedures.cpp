#include "host/worker_procedures.h"

#include "events/event_worker.h"
#include "events/meter_worker.h"
#include "link/external_worker.h"
#include "link/monitor.h"
#include "link/ups_io_worker.h"
#include "trace.h"

namespace zep {
namespace {

constexpr int kReceiveBufferSize = 1024;
// The configuration is read again at least this often.
constexpr int kConfigurationPeriodMs = 60000;

// The end of a receive loop: the stop signal quietly, a socket error with a
// trace line.
void TraceLoopEnd(const WorkerSlot* slot, int received) {
  if (received != -1) {
    TraceFormat("Worker %02X: receive failed (%d)\n",
                static_cast<unsigned>(slot->kind_code), received);
  }
}

}  // namespace

const WorkerRow kWorkerRows[kUsedWorkerSlots] = {
    {kWorkerKindUpsIo, &UpsIoWorker},
    {kWorkerKindMonitor, &MonitorWorker},
    {kWorkerKindEvent, &EventWorker},
    {kWorkerKindMeter, &MeterWorker},
    {kWorkerKindExternal, &ExternalWorker},
    {kWorkerKindConfiguration, &ConfigurationWorker},
};

void PlaceholderWorker(WorkerSlot* slot) {
  unsigned char buffer[kReceiveBufferSize];
  for (;;) {
    int received = ReceiveDatagram(&slot->endpoint, buffer, sizeof buffer,
                                   kConfigurationPeriodMs);
    if (received < 0) {
      TraceLoopEnd(slot, received);
      return;
    }
    if (received > 0) {
      TraceFormat("Worker %02X: datagram of %d bytes dropped\n",
                  static_cast<unsigned>(slot->kind_code), received);
    }
  }
}

void ConfigurationWorker(WorkerSlot* slot) {
  unsigned char buffer[kReceiveBufferSize];
  for (;;) {
    int received = ReceiveDatagram(&slot->endpoint, buffer, sizeof buffer,
                                   kConfigurationPeriodMs);
    if (received < 0) {
      TraceLoopEnd(slot, received);
      return;
    }
    ServiceContext* context = slot->context;
    if (context != nullptr) {
      LoadConfiguration(*context, CurrentProtocolMode(*context) < 0);
    }
  }
}

}  // namespace zep
