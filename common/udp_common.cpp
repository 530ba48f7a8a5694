// Local UDP messaging: argument checks, the port walk, the process-wide
// own-port set, the receive rules (stop signal, dropped datagrams), the
// one-shot sender and the two client helpers. The operating system's part
// is in udp_posix.cpp and udp_win32.cpp behind udp_socket.h.
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "process.h"
#include "text_format.h"
#include "trace.h"
#include "udp.h"
#include "udp_socket.h"

namespace zep {
namespace {

using udp_socket::kLoopbackAddress;
using udp_socket::Received;
using udp_socket::ReceiveStatus;

// The socket library's refusals that make an open fail with -3; any other
// start failure is ignored and the open goes on.
constexpr int kLibraryRefusals[] = {10014, 10036, 10067, 10091, 10092};

constexpr int kPortTries = 60;

// Framed messages: length byte, type byte, payload, XOR checksum.
constexpr int kFrameSize = 261;
constexpr int kFrameOverhead = 3;
constexpr int kMaxPayload = 255;
constexpr uint8_t kRequestType = 2;
constexpr uint8_t kAnswerType = 6;
constexpr int kTextRequestPayload = 10;
constexpr int kDrainTimeoutMs = 100;
constexpr int kTextAnswerTimeoutMs = 500;
// Payload byte 0 and the selector byte come before the text of an answer.
constexpr int kTextOffset = 4;
constexpr int kMinAnswerLength = 6;

// The ports this process's sockets are bound to: one bit per port. Ports
// enter when a socket is bound and leave before it is closed, so a port
// that another program may hold is never in the set.
class OwnPortSet {
 public:
  void Add(uint16_t port) {
    if (port == 0) return;
    words_[port / 32].fetch_or(Bit(port), std::memory_order_acq_rel);
  }
  void Remove(uint16_t port) {
    if (port == 0) return;
    words_[port / 32].fetch_and(~Bit(port), std::memory_order_acq_rel);
  }
  bool Contains(uint16_t port) const {
    if (port == 0) return false;
    return (words_[port / 32].load(std::memory_order_acquire) & Bit(port)) != 0;
  }

 private:
  static uint32_t Bit(uint16_t port) { return uint32_t{1} << (port % 32); }
  std::atomic<uint32_t> words_[65536 / 32] = {};
};

OwnPortSet& OwnPorts() {
  static OwnPortSet set;
  return set;
}

// The long-lived socket of SendToLocalPort, shared by all threads under
// its lock.
struct LocalSender {
  std::mutex lock;
  SocketHandle socket = kNoSocket;
  uint16_t port = 0;
};

LocalSender& Sender() {
  static LocalSender sender;
  return sender;
}

void CloseLocalSenderLocked(LocalSender* sender) {
  if (sender->socket == kNoSocket) return;
  OwnPorts().Remove(sender->port);
  udp_socket::Close(sender->socket);
  sender->socket = kNoSocket;
  sender->port = 0;
}

// Opens and registers the sender's socket when there is none. False when
// no socket can be had.
bool EnsureLocalSenderLocked(LocalSender* sender) {
  if (sender->socket != kNoSocket) return true;
  udp_socket::StartLibrary();  // Harmless when it already runs.
  SocketHandle socket = udp_socket::Open();
  if (socket == kNoSocket) return false;
  uint16_t port = 0;
  if (udp_socket::BindLoopback(socket, 0) == 0) {
    port = udp_socket::LocalPort(socket);
  }
  if (port == 0) {
    udp_socket::Close(socket);
    return false;
  }
  OwnPorts().Add(port);
  sender->socket = socket;
  sender->port = port;
  return true;
}

// Throws away what came back to the sender (answers to one-shot sends,
// reset reports), without waiting. Bounded, so that a program flooding the
// sender's port cannot hold a caller here.
void DrainLocalSenderLocked(LocalSender* sender) {
  constexpr int kMaxDiscards = 64;
  uint8_t scratch[1];
  for (int i = 0; i < kMaxDiscards; ++i) {
    if (udp_socket::WaitReadable(&sender->socket, 1, 0) <= 0) return;
    Received r = udp_socket::ReceiveFrom(sender->socket, scratch, 0);
    if (r.status == ReceiveStatus::kWouldBlock ||
        r.status == ReceiveStatus::kError) {
      return;
    }
  }
}

// "a.b.c.d:port" of a sender, for trace lines.
std::string SenderText(const Received& r) {
  return FormatText("%u.%u.%u.%u:%u", (r.address >> 24) & 0xFFu,
                    (r.address >> 16) & 0xFFu, (r.address >> 8) & 0xFFu,
                    r.address & 0xFFu, static_cast<unsigned>(r.port));
}

// The sender a receive insists on, besides the endpoint's own rules.
struct RequiredSender {
  uint32_t address;
  uint16_t port;
};

// The receive loop behind ReceiveDatagram and the client helpers. Dropped
// datagrams never end the wait early and never change the peer.
int ReceiveAccepted(UdpEndpoint* endpoint, void* buffer, int size,
                    int timeout_ms, const RequiredSender* required) {
  const int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  constexpr int kLateLooks = 64;
  int late_looks = 0;
  for (;;) {
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMilliseconds();
      wait_ms = left > 0 ? static_cast<int>(left) : 0;
    }
    int ready = WaitReadable(endpoint, wait_ms);
    if (ready <= 0) return ready;

    Received r = udp_socket::ReceiveFrom(endpoint->socket, buffer, size);
    switch (r.status) {
      case ReceiveStatus::kReset:
        // Raised by an earlier send to a port nobody listens on; it says
        // nothing about this receive.
        return 0;
      case ReceiveStatus::kError:
        return kSocketError;
      case ReceiveStatus::kWouldBlock:
        break;
      case ReceiveStatus::kTooLong:
        TraceWithin(&endpoint->drop_traces,
                    "UDP %u: dropped a datagram from %s longer than %d bytes\n",
                    static_cast<unsigned>(endpoint->bound_port),
                    SenderText(r).c_str(), size);
        break;
      case ReceiveStatus::kDatagram: {
        const bool own_sender =
            r.address == kLoopbackAddress && IsOwnPort(r.port);
        if (endpoint->internal_only && !own_sender) {
          TraceWithin(&endpoint->drop_traces,
                      "UDP %u: dropped %d bytes from %s, not a port of this "
                      "process\n",
                      static_cast<unsigned>(endpoint->bound_port), r.length,
                      SenderText(r).c_str());
          break;
        }
        if (required != nullptr &&
            (r.address != required->address || r.port != required->port)) {
          TraceWithin(&endpoint->drop_traces,
                      "UDP %u: dropped %d bytes from %s, waiting for port "
                      "%u\n",
                      static_cast<unsigned>(endpoint->bound_port), r.length,
                      SenderText(r).c_str(),
                      static_cast<unsigned>(required->port));
          break;
        }
        endpoint->peer_address = r.address;
        endpoint->peer_port = r.port;
        if (r.length > 0) return r.length;
        const bool stop = endpoint->own_port != 0 &&
                          r.address == kLoopbackAddress &&
                          r.port == endpoint->own_port;
        return stop ? -1 : 0;
      }
    }
    // Time is up, but a datagram dropped just now must not hide one that
    // came right behind it: look again without waiting, a bounded number of
    // times so that a flood cannot hold the caller.
    if (timeout_ms >= 0 && MonotonicMilliseconds() >= deadline &&
        ++late_looks > kLateLooks) {
      return 0;
    }
  }
}

// Checks a received answer frame: at least 6 bytes, type 6, the length
// byte matching what arrived, and the checksum. Returns the payload length
// or -1.
int CheckAnswer(const uint8_t* frame, int received) {
  if (received < kMinAnswerLength) return -1;
  if (frame[1] != kAnswerType) return -1;
  if (frame[0] + kFrameOverhead != received) return -1;
  if (FrameChecksum(frame, received - 1) != frame[received - 1]) return -1;
  return frame[0];
}

// Sends a type 2 request frame of `length` payload bytes to the peer and
// takes the checked answer from that same peer into `answer`. Returns the
// answer's payload length, or -1.
int Exchange(UdpEndpoint* endpoint, const uint8_t* payload, int length,
             int timeout_ms, uint8_t (&answer)[kFrameSize]) {
  uint8_t frame[kFrameSize];
  frame[0] = static_cast<uint8_t>(length);
  frame[1] = kRequestType;
  if (length > 0) std::memcpy(frame + 2, payload, static_cast<size_t>(length));
  frame[2 + length] = FrameChecksum(frame, 2 + length);
  const RequiredSender peer = {endpoint->peer_address, endpoint->peer_port};
  const int total = length + kFrameOverhead;
  if (SendToPeer(endpoint, frame, total) != total) return -1;
  int received =
      ReceiveAccepted(endpoint, answer, kFrameSize, timeout_ms, &peer);
  return CheckAnswer(answer, received);
}

}  // namespace

SocketHandle OpenEndpoint(UdpEndpoint* endpoint, int requested_port) {
  if (endpoint == nullptr) return -1;
  if (requested_port < 0 || requested_port > 65535) return -1;
  // A second open on the same record would lose the first socket.
  if (endpoint->socket != kNoSocket) CloseEndpoint(endpoint);

  int start = udp_socket::StartLibrary();
  for (int code : kLibraryRefusals) {
    if (start == code) return -3;
  }
  endpoint->socket = udp_socket::Open();
  if (endpoint->socket == kNoSocket) return -2;

  endpoint->peer_address = kLoopbackAddress;
  int port = requested_port;
  for (int attempt = 0; attempt < kPortTries; ++attempt) {
    endpoint->peer_port = static_cast<uint16_t>(port);
    if (udp_socket::BindLoopback(endpoint->socket,
                                 static_cast<uint16_t>(port)) == 0) {
      endpoint->own_port = static_cast<uint16_t>(port);
      uint16_t bound = udp_socket::LocalPort(endpoint->socket);
      endpoint->bound_port = bound != 0 ? bound : endpoint->own_port;
      OwnPorts().Add(endpoint->bound_port);
      return endpoint->socket;
    }
    if (port > 0) --port;
  }
  return -1;
}

void CloseEndpoint(UdpEndpoint* endpoint) {
  if (endpoint == nullptr) return;
  if (endpoint->socket != kNoSocket) {
    OwnPorts().Remove(endpoint->bound_port);
    udp_socket::Close(endpoint->socket);
  }
  endpoint->socket = kNoSocket;
  endpoint->own_port = 0;
  endpoint->bound_port = 0;
}

void SetPeerPort(UdpEndpoint* endpoint, uint16_t port) {
  if (endpoint == nullptr) return;
  endpoint->peer_address = kLoopbackAddress;
  endpoint->peer_port = port;
}

int SendToPeer(UdpEndpoint* endpoint, const void* bytes, int length) {
  if (endpoint == nullptr) return -1;
  if (length < 0 || (bytes == nullptr && length > 0)) return -1;
  if (endpoint->socket == kNoSocket) return 0;
  int sent = udp_socket::SendTo(endpoint->socket, bytes, length,
                                endpoint->peer_address, endpoint->peer_port);
  return sent < 0 ? kSocketError : sent;
}

int WaitReadable(UdpEndpoint* endpoint, int timeout_ms) {
  if (endpoint == nullptr) return -1;
  if (endpoint->socket == kNoSocket) return 0;
  int result = udp_socket::WaitReadable(&endpoint->socket, 1, timeout_ms);
  return result < 0 ? kSocketError : result;
}

int WaitEitherReadable(UdpEndpoint* first, UdpEndpoint* second,
                       int timeout_ms) {
  if (first == nullptr || second == nullptr || first->socket == kNoSocket ||
      second->socket == kNoSocket) {
    return -1;
  }
  const SocketHandle sockets[2] = {first->socket, second->socket};
  int result = udp_socket::WaitReadable(sockets, 2, timeout_ms);
  return result < 0 ? kSocketError : result;
}

int ReceiveDatagram(UdpEndpoint* endpoint, void* buffer, int size,
                    int timeout_ms) {
  if (endpoint == nullptr) return -1;
  if (size < 0 || (buffer == nullptr && size > 0)) return -1;
  return ReceiveAccepted(endpoint, buffer, size, timeout_ms, nullptr);
}

uint8_t FrameChecksum(const void* bytes, int count) {
  if (bytes == nullptr || count <= 0) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint8_t sum = 0;
  for (int i = 0; i < count; ++i) sum ^= p[i];
  return sum;
}

void SendStopSignal(UdpEndpoint* endpoint) {
  if (endpoint == nullptr || endpoint->socket == kNoSocket) return;
  // An endpoint on a system-chosen port has no own port to signal.
  if (endpoint->own_port == 0) return;
  udp_socket::SendTo(endpoint->socket, "", 0, kLoopbackAddress,
                     endpoint->own_port);
}

int SendToLocalPort(int port, const void* bytes, int length) {
  if (port <= 0 || port > 65535) return -1;
  if (length < 0 || (bytes == nullptr && length > 0)) return -1;
  LocalSender& sender = Sender();
  std::lock_guard<std::mutex> hold(sender.lock);
  if (!EnsureLocalSenderLocked(&sender)) return -1;
  DrainLocalSenderLocked(&sender);
  int sent = udp_socket::SendTo(sender.socket, bytes, length, kLoopbackAddress,
                                static_cast<uint16_t>(port));
  return sent < 0 ? kSocketError : sent;
}

bool IsOwnPort(uint16_t port) { return OwnPorts().Contains(port); }

void ReleaseSocketLibrary() {
  {
    LocalSender& sender = Sender();
    std::lock_guard<std::mutex> hold(sender.lock);
    CloseLocalSenderLocked(&sender);
  }
  udp_socket::CleanupLibrary();
}

int RequestText(char* out, UdpEndpoint* endpoint, int kind, int32_t identifier,
                int32_t selector) {
  if (endpoint == nullptr || out == nullptr) return -1;

  // Stale answers of earlier requests go first. Draining takes whatever
  // arrives, so the peer the caller set is put back afterwards.
  const uint32_t peer_address = endpoint->peer_address;
  const uint16_t peer_port = endpoint->peer_port;
  uint8_t scratch[kFrameSize];
  while (ReceiveDatagram(endpoint, scratch, kFrameSize, kDrainTimeoutMs) > 0) {
  }
  endpoint->peer_address = peer_address;
  endpoint->peer_port = peer_port;

  const uint32_t id = static_cast<uint32_t>(identifier);
  const uint32_t column = static_cast<uint32_t>(selector);
  const uint8_t payload[kTextRequestPayload] = {
      0,
      static_cast<uint8_t>(kind),
      static_cast<uint8_t>(id),
      static_cast<uint8_t>(id >> 8),
      static_cast<uint8_t>(id >> 16),
      static_cast<uint8_t>(id >> 24),
      static_cast<uint8_t>(column),
      static_cast<uint8_t>(column >> 8),
      static_cast<uint8_t>(column >> 16),
      static_cast<uint8_t>(column >> 24),
  };
  uint8_t answer[kFrameSize];
  int payload_length = Exchange(endpoint, payload, kTextRequestPayload,
                                kTextAnswerTimeoutMs, answer);
  if (payload_length < 0) return -1;
  if (answer[2] != 0) return -1;
  // The text runs from byte 4 up to the checksum, which the terminator
  // replaces.
  const int text_length = payload_length + kFrameOverhead - 1 - kTextOffset;
  std::memcpy(out, answer + kTextOffset, static_cast<size_t>(text_length));
  out[text_length] = '\0';
  return text_length;
}

int RequestFrame(uint8_t* buffer, UdpEndpoint* endpoint, int length,
                 int timeout_ms) {
  if (endpoint == nullptr || buffer == nullptr) return -1;
  // The length travels in one byte; more would not fit the frame.
  if (length < 0 || length > kMaxPayload) return -1;
  uint8_t answer[kFrameSize];
  int payload_length = Exchange(endpoint, buffer, length, timeout_ms, answer);
  if (payload_length < 0) return -1;
  std::memcpy(buffer, answer + 2, static_cast<size_t>(payload_length));
  buffer[payload_length] = 0;
  buffer[payload_length + 1] = 0;
  return payload_length + 2;
}

}  // namespace zep
