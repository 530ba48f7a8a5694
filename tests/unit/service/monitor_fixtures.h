// Stand-ins around the monitor for its tests: a thread that answers the
// monitor's link like the UPS I/O thread (from a script, or through the
// real translator and serial port), endpoints that collect the datagrams
// meant for the event and meter threads, and the context that ties them
// together. Every endpoint is on a test port (47xxx), never on the
// service's fixed ports.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "events/meter_values.h"
#include "events/status_records.h"
#include "host/worker_table.h"
#include "link/monitor_record.h"
#include "link/port_search.h"
#include "link/serlink_link.h"
#include "link/ups_io_worker.h"
#include "message_files.h"
#include "process.h"
#include "protocol/binary_frames.h"
#include "protocol/event_table.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_state.h"
#include "service_context.h"
#include "udp.h"

namespace zep {

/// Sets a setting for the lifetime of the object and puts the earlier
/// value back at its end.
class ScopedSetting {
 public:
  ScopedSetting(const std::string& key, const std::string& value) : key_(key) {
    was_set_ = GetEnvironmentValue(key.c_str(), &saved_);
    PutEnvironmentText((key + "=" + value).c_str());
  }
  ~ScopedSetting() {
    PutEnvironmentText((key_ + "=" + (was_set_ ? saved_ : "")).c_str());
  }
  ScopedSetting(const ScopedSetting&) = delete;
  ScopedSetting& operator=(const ScopedSetting&) = delete;

 private:
  std::string key_;
  std::string saved_;
  bool was_set_ = false;
};

/// An endpoint of the test on a port near `port`, taking datagrams from
/// anyone.
class TestEndpoint {
 public:
  explicit TestEndpoint(int port) {
    opened_ = OpenEndpoint(&endpoint_, port) > 0;
  }
  ~TestEndpoint() { CloseEndpoint(&endpoint_); }
  TestEndpoint(const TestEndpoint&) = delete;
  TestEndpoint& operator=(const TestEndpoint&) = delete;

  bool opened() const { return opened_; }
  uint16_t port() const { return endpoint_.bound_port; }
  UdpEndpoint* endpoint() { return &endpoint_; }

  /// The next datagram within `timeout_ms`; empty when none came.
  std::string Receive(int timeout_ms = 5000) {
    char buffer[2048];
    int received =
        ReceiveDatagram(&endpoint_, buffer, sizeof buffer, timeout_ms);
    return received > 0 ? std::string(buffer, received) : std::string();
  }

  int Send(int port, const std::string& bytes) {
    SetPeerPort(&endpoint_, static_cast<uint16_t>(port));
    return SendToPeer(&endpoint_, bytes.data(), static_cast<int>(bytes.size()));
  }

 private:
  UdpEndpoint endpoint_;
  bool opened_ = false;
};

/// A thread on its own endpoint that answers every command datagram as the
/// UPS I/O thread would. The answer function gives the answer text, or
/// false for no answer at all. Every command is kept, in order.
class ScriptedUpsIo {
 public:
  using Answer =
      std::function<bool(const std::string& command, std::string* answer)>;

  ScriptedUpsIo(int port, Answer answer) : answer_(std::move(answer)) {
    opened_ = OpenEndpoint(&endpoint_, port) > 0;
    if (opened_) thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedUpsIo() {
    if (opened_) {
      SendStopSignal(&endpoint_);
      thread_.join();
    }
    CloseEndpoint(&endpoint_);
  }
  ScriptedUpsIo(const ScriptedUpsIo&) = delete;
  ScriptedUpsIo& operator=(const ScriptedUpsIo&) = delete;

  bool opened() const { return opened_; }
  uint16_t port() const { return endpoint_.bound_port; }

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
    char buffer[1024];
    for (;;) {
      int received = ReceiveDatagram(&endpoint_, buffer, sizeof buffer, -1);
      if (received < 0) return;
      if (received == 0) continue;
      std::string command(buffer, received);
      {
        std::lock_guard<std::mutex> hold(lock_);
        commands_.push_back(command);
      }
      std::string answer;
      if (answer_(command, &answer)) {
        SendToPeer(&endpoint_, answer.data(), static_cast<int>(answer.size()));
      }
    }
  }

  Answer answer_;
  UdpEndpoint endpoint_;
  bool opened_ = false;
  std::thread thread_;
  mutable std::mutex lock_;
  std::vector<std::string> commands_;
};

/// The real UPS I/O loop (translator, serial port slot 0) on a test port,
/// working on `state`.
class UpsIoServer {
 public:
  UpsIoServer(int port, UpsState* state) : translator_{*state, reply_, link_} {
    opened_ = OpenEndpoint(&endpoint_, port) > 0;
    endpoint_.internal_only = true;
    if (opened_) {
      thread_ =
          std::thread([this] { ServeUpsCommands(&endpoint_, translator_); });
    }
  }
  ~UpsIoServer() {
    if (opened_) {
      SendStopSignal(&endpoint_);
      thread_.join();
    }
    CloseEndpoint(&endpoint_);
  }
  UpsIoServer(const UpsIoServer&) = delete;
  UpsIoServer& operator=(const UpsIoServer&) = delete;

  bool opened() const { return opened_; }
  uint16_t port() const { return endpoint_.bound_port; }

 private:
  ReplyAssembly reply_;
  SerlinkLink link_;
  Translator translator_;
  UdpEndpoint endpoint_;
  bool opened_ = false;
  std::thread thread_;
};

/// The records a monitor works on, owned by the test. The worker ports of
/// slots 0, 2 and 3 are set by the test to its stand-ins.
struct MonitorRecords {
  MonitorRecords() : messages(new MessageTables) {
    context.ups_state = &ups_state;
    context.events = &events;
    context.summary = &summary;
    context.monitor = &monitor;
    context.meter_values = &meter_values;
    context.port_search = &search;
    context.status_counters = &counters;
    context.messages = messages.get();
  }
  void SetPort(int slot, int port) {
    context.worker_ports[slot].store(static_cast<uint16_t>(port));
  }
  std::string Item(int slot) const {
    char text[kInfoTextSize] = {};
    if (!GetInfoString(messages->info_strings, slot, text, sizeof text)) {
      return "<unset>";
    }
    return text;
  }

  UpsState ups_state;
  ActiveEventTable events;
  EventSummary summary;
  MonitorRecord monitor;
  MeterValueTable meter_values;
  PortSearch search;
  StatusRecordCounters counters;
  std::unique_ptr<MessageTables> messages;
  ServiceContext context;
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
