// The meter thread (worker slot 3): it receives the value datagrams of the
// monitor, keeps the last value of every measurement tag, turns the values
// users see into information items, echoes every value on the console, and
// once per meter cycle (aligned to whole minutes) runs "meter.bat" with
// eleven current values so that the installation can log them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "events/meter_values.h"
#include "host/worker_table.h"
#include "service_context.h"

namespace zep {

/// The meter.bat arguments are formed in fields of 10 characters: 9 of text
/// and the terminator. A longer text is cut to the field.
constexpr int kMeterArgumentSize = 10;
constexpr int kMeterArgumentCount = 11;

/// The cycle when ZEP_METER_CYCLE is unset, 0 or less, in seconds.
constexpr int kDefaultMeterCycle = 60;

/// The tag whose first arrival turns metering on (the UPS temperature).
constexpr int kMeteringTag = 88;

/// The thread's own state between datagrams.
struct MeterCycle {
  /// When "meter.bat" is next due, in seconds since 1970.
  int64_t next_run = 0;
  /// Value datagrams since the last run.
  int datagrams = 0;
  /// Off until tag 88 has arrived once; no run happens before.
  bool metering = false;
};

/// The start of the thread: the first run is due at the next whole minute,
/// the table is emptied, the switch is off and nothing is counted.
void StartMeterCycle(MeterCycle* cycle, MeterValueTable* table, int64_t now);

/// Stores the values of one received datagram of `length` bytes (only the
/// values that arrived are read): each one in the table, in its information
/// item when it has one, and on the console as "[%3d:%.1f] "; then "\r\n"
/// and one more datagram counted. Tag 88 turns metering on. Returns the
/// number of values stored; 0 for a datagram of another type, a count of 0
/// or no complete value (nothing stored, nothing printed or counted).
int StoreMeterValues(ServiceContext& context, MeterCycle* cycle,
                     const uint8_t* data, int length);

/// The eleven arguments of "meter.bat" from the table, each at most 9
/// characters.
std::vector<std::string> MeterArguments(const MeterValueTable& table);

/// The check after every datagram: when metering is on, the run is due
/// (`now` at or past next_run) and a datagram was counted since the last
/// run, reads ZEP_METER_CYCLE anew, sets the next run to the start of this
/// minute plus the cycle, runs "meter.bat" and resets the count. Returns
/// true when it ran.
bool RunMeterIfDue(ServiceContext& context, MeterCycle* cycle, int64_t now);

/// The slot procedure. Receives without a time limit while metering is off
/// and with 100 ms once it is on; returns on the stop signal or a socket
/// error only.
void MeterWorker(WorkerSlot* slot);

}  // namespace zep
