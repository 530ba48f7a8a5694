#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "threads.h"

namespace zep {

struct ManualResetEvent::Impl {
  mutable std::mutex lock;
  mutable std::condition_variable changed;
  bool set = false;
};

ManualResetEvent::ManualResetEvent() : impl_(new Impl) {}
ManualResetEvent::~ManualResetEvent() = default;

bool ManualResetEvent::Valid() const { return impl_ != nullptr; }

void ManualResetEvent::Set() {
  {
    std::lock_guard<std::mutex> hold(impl_->lock);
    impl_->set = true;
  }
  impl_->changed.notify_all();
}

void ManualResetEvent::Reset() {
  std::lock_guard<std::mutex> hold(impl_->lock);
  impl_->set = false;
}

bool ManualResetEvent::IsSet() const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  return impl_->set;
}

bool ManualResetEvent::Wait(int timeout_ms) const {
  std::unique_lock<std::mutex> hold(impl_->lock);
  if (timeout_ms < 0) {
    impl_->changed.wait(hold, [this] { return impl_->set; });
    return true;
  }
  return impl_->changed.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                                 [this] { return impl_->set; });
}

// The gate and the end flag are shared with the thread itself, so that a
// thread left running after ForceEnd never touches freed memory.
struct WorkerThread::Impl {
  struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    bool released = false;
    bool cancelled = false;
    bool finished = false;
  };
  std::shared_ptr<Gate> gate;
  std::thread thread;
};

WorkerThread::WorkerThread() : impl_(new Impl) {}

WorkerThread::~WorkerThread() {
  if (!impl_->thread.joinable()) return;
  bool finished;
  {
    std::lock_guard<std::mutex> hold(impl_->gate->lock);
    // A thread never let run ends without calling its procedure.
    if (!impl_->gate->released) impl_->gate->cancelled = true;
    finished = impl_->gate->finished || impl_->gate->cancelled;
  }
  impl_->gate->changed.notify_all();
  if (finished) {
    impl_->thread.join();
  } else {
    impl_->thread.detach();
  }
}

bool WorkerThread::CreateSuspended(Procedure procedure, void* argument) {
  if (impl_->thread.joinable() || procedure == nullptr) return false;
  auto gate = std::make_shared<Impl::Gate>();
  try {
    impl_->thread = std::thread([gate, procedure, argument] {
      {
        std::unique_lock<std::mutex> hold(gate->lock);
        gate->changed.wait(hold,
                           [&] { return gate->released || gate->cancelled; });
        if (gate->cancelled) {
          gate->finished = true;
          return;
        }
      }
      procedure(argument);
      {
        std::lock_guard<std::mutex> hold(gate->lock);
        gate->finished = true;
      }
      gate->changed.notify_all();
    });
  } catch (const std::system_error&) {
    return false;
  }
  impl_->gate = gate;
  return true;
}

bool WorkerThread::Created() const { return impl_->thread.joinable(); }

void WorkerThread::Resume() {
  if (!impl_->gate) return;
  {
    std::lock_guard<std::mutex> hold(impl_->gate->lock);
    impl_->gate->released = true;
  }
  impl_->gate->changed.notify_all();
}

bool WorkerThread::Join(int timeout_ms) {
  if (!impl_->thread.joinable()) return true;
  Impl::Gate& gate = *impl_->gate;
  {
    std::unique_lock<std::mutex> hold(gate.lock);
    auto done = [&] { return gate.finished; };
    if (timeout_ms < 0) {
      gate.changed.wait(hold, done);
    } else if (!gate.changed.wait_for(
                   hold, std::chrono::milliseconds(timeout_ms), done)) {
      return false;
    }
  }
  impl_->thread.join();
  return true;
}

void WorkerThread::ForceEnd() {
  // A thread cannot be killed safely here; it is let go and ends with the
  // process. It keeps only the shared gate alive.
  if (impl_->thread.joinable()) impl_->thread.detach();
}

}  // namespace zep
