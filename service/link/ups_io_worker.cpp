#include "link/ups_io_worker.h"

#include <memory>
#include <string>

#include "host/worker_table.h"
#include "link/serlink_link.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_io.h"
#include "protocol/ups_state.h"
#include "trace.h"
#include "udp.h"

namespace zep {

int ServeUpsCommands(UdpEndpoint* endpoint, Translator& translator) {
  uint8_t buffer[kUpsIoReceiveSize];
  for (;;) {
    const int received = ReceiveDatagram(endpoint, buffer, sizeof buffer, -1);
    if (received < 0) {
      if (received != -1) {
        TraceFormat("UPS I/O: receive failed (%d)\n", received);
      }
      return received;
    }
    // An empty datagram from another program, or a reset report.
    if (received == 0) continue;
    // A command and its terminator must fit the buffer; a datagram that
    // fills it may have been longer still, and a cut command is another
    // command.
    if (received > static_cast<int>(kUpsCommandMaximum)) {
      TraceFormat("UPS I/O: command of %d bytes dropped (too long)\n",
                  received);
      continue;
    }

    // HandleUpsCommand traces the command and a non-empty answer.
    UpsIoResult result =
        HandleUpsCommand(translator, buffer, static_cast<size_t>(received));
    if (!result.answered) continue;
    if (result.text.size() > kUpsCommandMaximum) {
      result.text.resize(kUpsCommandMaximum);
    }
    const int length = static_cast<int>(result.text.size());
    const int sent = SendToPeer(endpoint, result.text.data(), length);
    if (sent != length) {
      // The client misses this answer; the socket itself is still checked
      // by the next receive.
      TraceFormat("UPS I/O: answer not sent (%d)\n", sent);
    }
  }
}

void UpsIoWorker(WorkerSlot* slot) {
  if (slot == nullptr) return;
  // A context without a UPS state (a test of the host) still gets a worker
  // that answers, on a state record of its own.
  std::unique_ptr<UpsState> own_state;
  UpsState* state =
      slot->context != nullptr ? slot->context->ups_state : nullptr;
  if (state == nullptr) {
    own_state = std::make_unique<UpsState>();
    state = own_state.get();
  }
  ReplyAssembly reply;
  SerlinkLink link;
  Translator translator = {*state, reply, link};
  ServeUpsCommands(&slot->endpoint, translator);
}

}  // namespace zep
