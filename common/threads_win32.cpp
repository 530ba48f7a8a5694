#include <windows.h>

#include <atomic>

#include "threads.h"

namespace zep {

struct ManualResetEvent::Impl {
  HANDLE handle = nullptr;
};

ManualResetEvent::ManualResetEvent() : impl_(new Impl) {
  // Manual reset, not signalled, no name.
  impl_->handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

ManualResetEvent::~ManualResetEvent() {
  if (impl_->handle != nullptr) CloseHandle(impl_->handle);
}

bool ManualResetEvent::Valid() const { return impl_->handle != nullptr; }

void ManualResetEvent::Set() {
  if (impl_->handle != nullptr) SetEvent(impl_->handle);
}

void ManualResetEvent::Reset() {
  if (impl_->handle != nullptr) ResetEvent(impl_->handle);
}

bool ManualResetEvent::IsSet() const {
  return impl_->handle != nullptr &&
         WaitForSingleObject(impl_->handle, 0) == WAIT_OBJECT_0;
}

bool ManualResetEvent::Wait(int timeout_ms) const {
  if (impl_->handle == nullptr) return false;
  DWORD wait = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  return WaitForSingleObject(impl_->handle, wait) == WAIT_OBJECT_0;
}

namespace {

// Owned by the thread: it reads the procedure and frees the record before
// running, so nothing it needs dies with the WorkerThread object.
struct StartRecord {
  WorkerThread::Procedure procedure;
  void* argument;
  std::atomic<bool> cancelled{false};
};

DWORD WINAPI ThreadStart(LPVOID parameter) {
  StartRecord* record = static_cast<StartRecord*>(parameter);
  WorkerThread::Procedure procedure = record->procedure;
  void* argument = record->argument;
  bool cancelled = record->cancelled.load();
  delete record;
  if (!cancelled) procedure(argument);
  return 0;
}

}  // namespace

struct WorkerThread::Impl {
  HANDLE handle = nullptr;
  StartRecord* record = nullptr;  // until resumed
};

WorkerThread::WorkerThread() : impl_(new Impl) {}

WorkerThread::~WorkerThread() {
  if (impl_->handle == nullptr) return;
  if (impl_->record != nullptr) {
    // Never resumed: let it run just far enough to free its record and end.
    impl_->record->cancelled.store(true);
    ResumeThread(impl_->handle);
    WaitForSingleObject(impl_->handle, INFINITE);
  }
  CloseHandle(impl_->handle);
}

bool WorkerThread::CreateSuspended(Procedure procedure, void* argument) {
  if (impl_->handle != nullptr || procedure == nullptr) return false;
  StartRecord* record = new StartRecord{procedure, argument};
  DWORD id = 0;
  HANDLE handle =
      CreateThread(nullptr, 0, ThreadStart, record, CREATE_SUSPENDED, &id);
  if (handle == nullptr) {
    delete record;
    return false;
  }
  impl_->handle = handle;
  impl_->record = record;
  return true;
}

bool WorkerThread::Created() const { return impl_->handle != nullptr; }

void WorkerThread::Resume() {
  if (impl_->handle == nullptr || impl_->record == nullptr) return;
  impl_->record = nullptr;  // the thread owns it from here on
  ResumeThread(impl_->handle);
}

bool WorkerThread::Join(int timeout_ms) {
  if (impl_->handle == nullptr) return true;
  DWORD wait = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  return WaitForSingleObject(impl_->handle, wait) == WAIT_OBJECT_0;
}

void WorkerThread::ForceEnd() {
  if (impl_->handle == nullptr) return;
  if (WaitForSingleObject(impl_->handle, 0) != WAIT_OBJECT_0) {
    TerminateThread(impl_->handle, 1);
  }
  if (impl_->record != nullptr) {
    // Ended before it ever ran, so the record is still ours to free.
    WaitForSingleObject(impl_->handle, INFINITE);
    delete impl_->record;
    impl_->record = nullptr;
  }
}

}  // namespace zep
