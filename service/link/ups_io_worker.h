// The UPS I/O thread (worker slot 0): the only thread that exchanges bytes
// with the UPS. Each datagram on its endpoint is one command text; the
// answer goes back to the sender as one datagram.
#pragma once

#include "protocol/ascii_commands.h"

namespace zep {

struct UdpEndpoint;
struct WorkerSlot;

/// Receive buffer of the thread; a command is at most one byte shorter.
constexpr int kUpsIoReceiveSize = 1024;

/// Receives commands on `endpoint` without a time limit and answers each
/// through the translator: the answer text (an empty answer as an empty
/// datagram) to the sender, nothing when the command gets no answer. Empty
/// datagrams from other ports and datagrams that are too long are passed
/// over. Returns the receive result that ended the loop: -1 for the stop
/// signal, another negative value for a socket error.
int ServeUpsCommands(UdpEndpoint* endpoint, Translator& translator);

/// The slot 0 procedure: ServeUpsCommands on the slot's endpoint, with the
/// service's UPS state (a record of its own when the context has none)
/// and the UPS port of the serial library (slot 0).
void UpsIoWorker(WorkerSlot* slot);

}  // namespace zep
