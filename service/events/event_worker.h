// The event thread (worker slot 2): it receives the event-change datagrams
// of the monitor, records every change in the active event table, reports
// each to the user's "event.bat", keeps the mains-failure and battery-low
// flags of the monitor record, starts the temperature, overload and power
// scripts, and refreshes the event summary and the status records.
#pragma once

#include <cstdint>

#include "host/worker_table.h"
#include "service_context.h"

namespace zep {

/// Works through one received datagram of `length` bytes: the table pass,
/// the flags, the scripts in the order PlanEvents gives, and the summary
/// refresh. Only the entries that arrived are read, whatever the count byte
/// says. A datagram that is not an event-change datagram, or holds no
/// complete entry, is dropped with a trace line. Returns the number of
/// entries handled (0 when dropped).
int HandleEventDatagram(ServiceContext& context, const uint8_t* data,
                        int length);

/// The slot procedure: receives without a time limit and hands every
/// datagram to HandleEventDatagram. Returns on the stop signal or a socket
/// error only; no datagram, however malformed, ends it.
void EventWorker(WorkerSlot* slot);

}  // namespace zep
