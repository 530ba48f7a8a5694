// Threads and the stop event. Windows: a manual-reset event, CreateThread
// suspended, ResumeThread, TerminateThread. POSIX: a condition variable, and
// std::thread behind a start gate; a thread that will not end in time is
// left detached (it cannot be killed safely).
#pragma once

#include <memory>

namespace zep {

class ManualResetEvent {
 public:
  ManualResetEvent();
  ~ManualResetEvent();
  ManualResetEvent(const ManualResetEvent&) = delete;
  ManualResetEvent& operator=(const ManualResetEvent&) = delete;

  bool Valid() const;
  void Set();
  void Reset();
  bool IsSet() const;
  /// True when the event is set within `timeout_ms` (negative: no limit).
  bool Wait(int timeout_ms) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// One worker thread. Destroying it ends a thread that was never resumed
/// without running its procedure, joins one that has ended, and lets go of
/// one that still runs.
class WorkerThread {
 public:
  using Procedure = void (*)(void* argument);

  WorkerThread();
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  /// Creates the thread without letting it run; false when it cannot be made.
  bool CreateSuspended(Procedure procedure, void* argument);
  bool Created() const;
  /// Lets a suspended thread run.
  void Resume();
  /// True when the thread has ended within `timeout_ms` (negative: no
  /// limit), or when there is no thread.
  bool Join(int timeout_ms);
  /// Ends a thread that did not stop in time (exit code 1 on Windows; on
  /// POSIX it is detached and left to end with the process).
  void ForceEnd();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zep
