#include "link/monitor_link.h"

#include <cstring>

namespace zep {

int DrainEndpoint(UdpEndpoint* endpoint, int timeout_ms) {
  char scratch[kLinkTextSize];
  for (;;) {
    int received =
        ReceiveDatagram(endpoint, scratch, kLinkTextSize - 1, timeout_ms);
    if (received < 0) return received;
    if (received == 0) return 0;
  }
}

int SendToUpsIo(MonitorLink* link, const char* text, int length) {
  SetPeerPort(&link->endpoint, link->ups_io_port);
  return SendToPeer(&link->endpoint, text, length);
}

int ReceiveAnswer(MonitorLink* link, char* answer, int timeout_ms) {
  int received =
      ReceiveDatagram(&link->endpoint, answer, kLinkTextSize - 1, timeout_ms);
  answer[received > 0 ? received : 0] = '\0';
  return received;
}

int ExchangeWithUps(MonitorLink* link, const char* command, char* answer,
                    int timeout_ms) {
  answer[0] = '\0';
  int sent =
      SendToUpsIo(link, command, static_cast<int>(std::strlen(command)));
  // A send the platform refused gets no answer; the wait below still paces
  // the caller.
  (void)sent;
  return ReceiveAnswer(link, answer, timeout_ms);
}

bool IsCompleteAnswer(const char* answer, int length) {
  return length > 0 && std::memchr(answer, '\r', length) != nullptr;
}

bool IsRefusal(const char* answer, int length) {
  return length >= 2 && answer[0] == 'N' && answer[1] == 'G';
}

}  // namespace zep
