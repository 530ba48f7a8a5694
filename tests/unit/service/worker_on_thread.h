// A worker of the tests: a slot with a loopback endpoint of its own near a
// test port and a thread that serves it, as the worker table runs its
// workers. The stop signal sent to the endpoint ends the thread, at the
// latest when the object goes.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

#include "host/worker_table.h"
#include "service_context.h"
#include "udp.h"

namespace zep {

class WorkerOnThread {
 public:
  /// Opens the endpoint near `port`; `internal_only` as the service's own
  /// worker endpoints (all but the external command one) are.
  explicit WorkerOnThread(int port, bool internal_only = true,
                          ServiceContext* context = nullptr,
                          uint8_t kind_code = 0) {
    slot_.context = context;
    slot_.kind_code = kind_code;
    slot_.endpoint.internal_only = internal_only;
    opened_ = OpenEndpoint(&slot_.endpoint, port) > 0;
  }
  ~WorkerOnThread() {
    Stop();
    CloseEndpoint(&slot_.endpoint);
  }
  WorkerOnThread(const WorkerOnThread&) = delete;
  WorkerOnThread& operator=(const WorkerOnThread&) = delete;

  bool opened() const { return opened_; }
  uint16_t port() const { return slot_.endpoint.bound_port; }
  UdpEndpoint* endpoint() { return &slot_.endpoint; }

  /// Runs `serve` on the thread; nothing when the endpoint did not open.
  void Start(std::function<void()> serve) {
    if (opened_ && !thread_.joinable()) thread_ = std::thread(std::move(serve));
  }
  /// Runs a worker procedure on the slot.
  void Start(WorkerProcedure procedure) {
    Start([this, procedure] { procedure(&slot_); });
  }
  /// Sends the stop signal and waits for the thread; nothing when it does
  /// not run.
  void Stop() {
    if (!thread_.joinable()) return;
    SendStopSignal(&slot_.endpoint);
    thread_.join();
  }

 private:
  WorkerSlot slot_;
  bool opened_ = false;
  std::thread thread_;
};

}  // namespace zep
