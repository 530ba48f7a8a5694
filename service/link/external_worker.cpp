#include "link/external_worker.h"

#include <cstring>

#include "host/worker_table.h"
#include "link/external_frames.h"
#include "process.h"
#include "service_context.h"
#include "text_format.h"
#include "trace.h"
#include "udp.h"

namespace zep {
namespace {

// Hands a made command to the monitor, which relays it to the UPS between
// its own polls and sends the answer back to the sender: the process's
// one-shot socket, which throws the answer away. The monitor's endpoint
// takes datagrams only from the service's own sockets, which this one is.
void RelayCommand(const ServiceContext& context, const char* command) {
  const int port = WorkerPort(context, kMonitorSlot);
  const int length = static_cast<int>(std::strlen(command));
  if (port == 0) {
    Trace("External: no monitor port, command not relayed\n");
    return;
  }
  const int sent = SendToLocalPort(port, command, length);
  if (sent != length) {
    TraceFormat("External: command not relayed to port %d (%d)\n", port, sent);
  }
}

}  // namespace

int ServeExternalFrames(UdpEndpoint* endpoint, const ServiceContext& context) {
  uint8_t buffer[kExternalReceiveSize];
  ExternalSession session;
  ExternalOutcome outcome;
  // The console echo of the frames is bounded like their trace lines, more
  // loosely, so that the tray's and the scripts' frames always show.
  TraceBudget echoes(20, 200);
  for (;;) {
    const int received = ReceiveDatagram(endpoint, buffer, sizeof buffer, -1);
    if (received < 0) {
      if (received != -1) {
        TraceFormat("External: receive failed (%d)\n", received);
      }
      return received;
    }
    if (received == 0) continue;

    // The sources are read anew for every frame: the context's records
    // live for the whole run.
    ExternalSources sources;
    sources.summary = context.summary;
    sources.messages = context.messages;
    const int answer =
        HandleExternalFrame(session, sources, buffer, received, &outcome);
    if (answer < 0) continue;

    int left_out = 0;
    if (context.write_console != nullptr &&
        echoes.Take(MonotonicMilliseconds(), &left_out)) {
      if (left_out > 0) {
        context.write_console(
            FormatText("(%d frames not shown)\r\n", left_out).c_str());
      }
      context.write_console(outcome.console_line);
    }
    if (outcome.command[0] != '\0') RelayCommand(context, outcome.command);
    if (answer > 0) {
      const int sent = SendToPeer(endpoint, outcome.answer, answer);
      if (sent != answer) TraceFormat("External: answer not sent (%d)\n", sent);
    }
  }
}

void ExternalWorker(WorkerSlot* slot) {
  if (slot == nullptr || slot->context == nullptr) {
    Trace("External: no service context\n");
    return;
  }
  ServeExternalFrames(&slot->endpoint, *slot->context);
}

}  // namespace zep
