// The procedures of the six workers, one row per slot. Later parts of the
// service replace the placeholder rows with their workers.
#pragma once

#include <cstdint>

#include "host/worker_table.h"

namespace zep {

struct WorkerRow {
  uint8_t kind_code;
  WorkerProcedure procedure;
};

/// Slot 0 to 5: UPS I/O, monitor, event, meter, external command,
/// configuration.
extern const WorkerRow kWorkerRows[kUsedWorkerSlots];

/// A worker that does nothing yet: it receives until the stop signal or a
/// socket error and drops every datagram with a trace line.
void PlaceholderWorker(WorkerSlot* slot);

/// The configuration thread: waits up to 60 s for a datagram; after every
/// wait that did not fail (time-out or any datagram, whose content is not
/// looked at) it loads the settings, fully while the UPS protocol is still
/// unknown and as a refresh afterwards.
void ConfigurationWorker(WorkerSlot* slot);

}  // namespace zep
