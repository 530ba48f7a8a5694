// The relay: commands that other parts of the service (the UPS shutdown,
// the external command thread) send to the monitor's slot endpoint go to
// the UPS between the monitor's own commands, one at a time.
#include "config.h"
#include "link/monitor.h"
#include "trace.h"

namespace zep {
namespace {

// The link is drained before a relayed command and whenever none came.
constexpr int kRelayDrainMs = 100;
// The UPS I/O thread's own wait for a reply is about a second.
constexpr int kAnswerGraceMs = 1000;

}  // namespace

int MonitorCycle() {
  int cycle = GetConfigInt("ZEP_MON_CYCLE");
  if (cycle <= 0) return 1000;
  return cycle > 10000 ? 10000 : cycle;
}

int RelayRequest(UdpEndpoint* slot_endpoint, MonitorLink* link, int wait_ms,
                 char* buffer) {
  int received =
      ReceiveDatagram(slot_endpoint, buffer, kLinkTextSize - 1, wait_ms);
  if (received < 0) return -2;
  if (received == 0) {
    return DrainEndpoint(&link->endpoint, kRelayDrainMs) < 0 ? -2 : 0;
  }
  buffer[received] = '\0';
  // Whatever is left on the link belongs to no one any more.
  if (DrainEndpoint(&link->endpoint, kRelayDrainMs) < 0) return -2;
  SendToUpsIo(link, buffer, received);
  char answer[kLinkTextSize];
  int answered = ReceiveAnswer(link, answer, wait_ms + kAnswerGraceMs);
  if (answered < 0) return -2;
  if (answered > 0) SendToPeer(slot_endpoint, answer, answered);
  return answered;
}

}  // namespace zep
