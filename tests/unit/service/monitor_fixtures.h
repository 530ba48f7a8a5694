// Stand-ins around the monitor for its tests: a thread that answers the
// monitor's link like the UPS I/O thread (from a script, or through the
// real translator and serial port), and helpers that read the datagrams
// meant for the event and meter threads. Every endpoint is on a test port
// (47xxx), never on the service's fixed ports.
#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/serlink_link.h"
#include "link/ups_io_worker.h"
#include "protocol/binary_frames.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_state.h"
#include "scoped_setting.h"
#include "test_context.h"
#include "test_endpoint.h"
#include "udp.h"
#include "worker_on_thread.h"

namespace zep {

/// A thread on its own endpoint that answers every command datagram as the
/// UPS I/O thread would. The answer function gives the answer text, or
/// false for no answer at all. Every command is kept, in order.
class ScriptedUpsIo {
 public:
  using Answer =
      std::function<bool(const std::string& command, std::string* answer)>;

  ScriptedUpsIo(int port, Answer answer)
      : answer_(std::move(answer)), worker_(port, false) {
    worker_.Start([this] { Serve(); });
  }
  ScriptedUpsIo(const ScriptedUpsIo&) = delete;
  ScriptedUpsIo& operator=(const ScriptedUpsIo&) = delete;

  bool opened() const { return worker_.opened(); }
  uint16_t port() const { return worker_.port(); }

  std::vector<std::string> Commands() const {
    std::lock_guard<std::mutex> hold(lock_);
    return commands_;
  }
  int Count(const std::string& command) const {
    int n = 0;
    for (const std::string& c : Commands()) n += c == command ? 1 : 0;
    return n;
  }

 private:
  void Serve() {
    UdpEndpoint* endpoint = worker_.endpoint();
    char buffer[1024];
    for (;;) {
      int received = ReceiveDatagram(endpoint, buffer, sizeof buffer, -1);
      if (received < 0) return;
      if (received == 0) continue;
      std::string command(buffer, received);
      {
        std::lock_guard<std::mutex> hold(lock_);
        commands_.push_back(command);
      }
      std::string answer;
      if (answer_(command, &answer)) {
        SendToPeer(endpoint, answer.data(), static_cast<int>(answer.size()));
      }
    }
  }

  Answer answer_;
  mutable std::mutex lock_;
  std::vector<std::string> commands_;
  // Last: the thread ends before the members it uses go.
  WorkerOnThread worker_;
};

/// The real UPS I/O loop (translator, serial port slot 0) on a test port,
/// working on `state`.
class UpsIoServer {
 public:
  UpsIoServer(int port, UpsState* state)
      : translator_{*state, reply_, link_}, worker_(port) {
    worker_.Start(
        [this] { ServeUpsCommands(worker_.endpoint(), translator_); });
  }
  UpsIoServer(const UpsIoServer&) = delete;
  UpsIoServer& operator=(const UpsIoServer&) = delete;

  bool opened() const { return worker_.opened(); }
  uint16_t port() const { return worker_.port(); }

 private:
  ReplyAssembly reply_;
  SerlinkLink link_;
  Translator translator_;
  // Last: the thread ends before the members it uses go.
  WorkerOnThread worker_;
};

/// "tag=value" of every value of a value datagram, in order; "bad" when it
/// is not one.
inline std::string ValuesOf(const std::string& datagram) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(datagram.data());
  int length = static_cast<int>(datagram.size());
  int count = CountValues(bytes, length);
  if (count < 0) return "bad";
  std::string out;
  for (int i = 0; i < count; ++i) {
    TaggedValue value;
    ReadValue(bytes, length, i, &value);
    char text[48];
    std::snprintf(text, sizeof text, "%s%d=%g", i == 0 ? "" : " ", value.tag,
                  value.value);
    out += text;
  }
  return out;
}

/// The bytes of a datagram in hex, "85 01 B3 28".
inline std::string Hex(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    char text[4];
    std::snprintf(text, sizeof text, "%s%02X", i == 0 ? "" : " ",
                  static_cast<unsigned>(static_cast<uint8_t>(bytes[i])));
    out += text;
  }
  return out;
}

}  // namespace zep
