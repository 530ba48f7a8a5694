// Recorders for the service tests: a status sink that keeps every record
// sent, a launcher that keeps every script run, a console that keeps what
// was written to it, and one ordered log that they (and the test's own
// worker procedures and hooks) write to, so the tests can check what
// happened in which order.
#pragma once

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "host/service_host.h"
#include "launcher.h"
#include "wait_until.h"

namespace zep {

/// How long the recorders wait for an entry (generous: only a failing test
/// waits it out).
constexpr int kRecorderWaitMs = 15000;

/// The entries of `all` that start with `prefix`, in order.
inline std::vector<std::string> StartingWith(
    const std::vector<std::string>& all, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& entry : all) {
    if (entry.compare(0, prefix.size(), prefix) == 0) found.push_back(entry);
  }
  return found;
}

class EventLog {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_;
  }
  /// Index of the first entry equal to `entry`, or -1.
  int IndexOf(const std::string& entry) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = std::find(entries_.begin(), entries_.end(), entry);
    return found == entries_.end() ? -1
                                   : static_cast<int>(found - entries_.begin());
  }
  int Count(const std::string& entry) const {
    std::lock_guard<std::mutex> hold(lock_);
    return static_cast<int>(
        std::count(entries_.begin(), entries_.end(), entry));
  }
  /// Waits (generously) until `entry` has been logged `times` times.
  bool WaitFor(const std::string& entry, int times = 1) const {
    return WaitUntil([&] { return Count(entry) >= times; }, kRecorderWaitMs);
  }
  /// All entries run together, for texts written in pieces.
  std::string Text() const {
    std::lock_guard<std::mutex> hold(lock_);
    std::string text;
    for (const std::string& entry : entries_) text += entry;
    return text;
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> entries_;
};

/// Logs "script name|arg|arg..." and keeps the runs.
class RecordingLauncher : public Launcher {
 public:
  explicit RecordingLauncher(EventLog* log = nullptr) : log_(log) {}
  int Launch(const std::string& name,
             const std::vector<std::string>& args) override {
    std::string entry = name;
    for (const std::string& arg : args) entry += "|" + arg;
    {
      std::lock_guard<std::mutex> hold(lock_);
      runs_.push_back(entry);
    }
    if (log_ != nullptr) log_->Add(entry);
    return 1;
  }
  std::vector<std::string> Runs() const {
    std::lock_guard<std::mutex> hold(lock_);
    return runs_;
  }

 private:
  EventLog* log_;
  mutable std::mutex lock_;
  std::vector<std::string> runs_;
};

/// "state/wait/checkpoint/controls" of a record, for compact comparisons.
inline std::string Brief(const ServiceStatusValues& v) {
  return std::to_string(v.current_state) + "/" + std::to_string(v.wait_hint) +
         "/" + std::to_string(v.checkpoint) + "/" +
         std::to_string(v.controls_accepted);
}

/// Keeps every record sent (and logs "status <brief>" when given a log);
/// can be told to fail with an error code.
class RecordingSink : public StatusSink {
 public:
  explicit RecordingSink(EventLog* log = nullptr) : log_(log) {}
  bool Send(const ServiceStatusValues& values, uint32_t* error) override {
    if (log_ != nullptr) log_->Add("status " + Brief(values));
    std::lock_guard<std::mutex> hold(lock_);
    sent_.push_back(values);
    if (fail_with_ != 0) {
      *error = fail_with_;
      return false;
    }
    return true;
  }
  std::vector<ServiceStatusValues> Sent() const {
    std::lock_guard<std::mutex> hold(lock_);
    return sent_;
  }
  void FailWith(uint32_t error) {
    std::lock_guard<std::mutex> hold(lock_);
    fail_with_ = error;
  }

 private:
  EventLog* log_;
  mutable std::mutex lock_;
  std::vector<ServiceStatusValues> sent_;
  uint32_t fail_with_ = 0;
};

/// The console of console mode for one test: the context's write_console is
/// a plain function, so while the recorder lives it keeps what is written
/// through ConsoleRecorder::Write.
class ConsoleRecorder {
 public:
  ConsoleRecorder() { Current().store(&log_); }
  ~ConsoleRecorder() { Current().store(nullptr); }
  ConsoleRecorder(const ConsoleRecorder&) = delete;
  ConsoleRecorder& operator=(const ConsoleRecorder&) = delete;

  /// For ServiceContext::write_console.
  static void Write(const char* text) {
    EventLog* log = Current().load();
    if (log != nullptr) log->Add(text);
  }
  /// Everything written so far, run together.
  std::string Text() const { return log_.Text(); }
  /// One entry per write.
  const EventLog& log() const { return log_; }
  /// Waits (generously) until what was written contains `text`.
  bool WaitFor(const std::string& text) const {
    return WaitUntil([&] { return Text().find(text) != std::string::npos; },
                     kRecorderWaitMs);
  }

 private:
  static std::atomic<EventLog*>& Current() {
    static std::atomic<EventLog*> current{nullptr};
    return current;
  }
  EventLog log_;
};

inline std::vector<std::string> Briefs(
    const std::vector<ServiceStatusValues>& all) {
  std::vector<std::string> out;
  for (const ServiceStatusValues& v : all) out.push_back(Brief(v));
  return out;
}

/// Points the program's host at a recording sink for one test.
class ProcessSinkScope {
 public:
  explicit ProcessSinkScope(StatusSink* sink) {
    previous_ = ProcessHost().status_sink.exchange(sink);
  }
  ~ProcessSinkScope() { ProcessHost().status_sink.store(previous_); }
  ProcessSinkScope(const ProcessSinkScope&) = delete;
  ProcessSinkScope& operator=(const ProcessSinkScope&) = delete;

 private:
  StatusSink* previous_;
};

}  // namespace zep
