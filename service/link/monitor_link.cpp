#include "link/monitor_link.h"

#include <cstring>

#include "process.h"
#include "threads.h"

namespace zep {
namespace {

// While an answer is awaited the stop event is looked at this often.
constexpr int kStopCheckMs = 200;

bool StopRequested(const MonitorLink& link) {
  if (link.stop_event == nullptr) return false;
  const ManualResetEvent* event = link.stop_event->load();
  return event != nullptr && event->IsSet();
}

}  // namespace

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
  answer[0] = '\0';
  const int64_t end = MonotonicMilliseconds() + timeout_ms;
  // The stop signal comes to the slot endpoint, which the wait watches
  // beside the link, so that a UPS that stays silent costs no wake-ups. A
  // command waiting there for the relay keeps it readable: from then on the
  // stop event is looked at in slices.
  UdpEndpoint* watch = link->stop_event != nullptr ? link->stop_watch : nullptr;
  for (;;) {
    int64_t left = end - MonotonicMilliseconds();
    if (left < 0) left = 0;
    int slice = static_cast<int>(left);
    if (watch != nullptr) {
      const int ready = WaitEitherReadable(&link->endpoint, watch, slice);
      if (ready < 0) return ready;
      if ((ready & 2) != 0) {
        if (StopRequested(*link)) return -1;
        watch = nullptr;
      }
      if (ready == 0) return 0;
      if ((ready & 1) == 0) continue;
      slice = 0;  // the answer (or something dropped) is there now
    } else if (link->stop_event != nullptr && slice > kStopCheckMs) {
      slice = kStopCheckMs;
    }
    int received =
        ReceiveDatagram(&link->endpoint, answer, kLinkTextSize - 1, slice);
    if (received != 0) {
      answer[received > 0 ? received : 0] = '\0';
      return received;
    }
    if (StopRequested(*link)) return -1;
    if (slice >= left) return 0;
  }
}

int ExchangeWithUps(MonitorLink* link, const char* command, char* answer,
                    int timeout_ms) {
  answer[0] = '\0';
  int sent = SendToUpsIo(link, command, static_cast<int>(std::strlen(command)));
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
