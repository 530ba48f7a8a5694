// serlink32: the exported functions on the two port slots. Every check of
// arguments, every lock and the quiet-line receive wait are here, once for
// both platforms; serial_port_*.cpp do the operating-system calls.

#include "serlink32.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "serial_library.h"
#include "serial_port.h"

namespace zep {
namespace serial {
namespace {

constexpr uint32_t kSlotCount = 2;

/// One numbered port slot. `handle` is read and written only under `lock`;
/// `open` mirrors it for Kbapi_COMGetCommEnable, which takes no lock.
struct PortSlot {
  std::mutex lock;
  PortHandle handle = kClosedPort;
  std::atomic<int32_t> open{0};
};

// The process-wide state of the library: the two slots (both closed at load)
// and the module handle stored at load. All of it is constant-initialised, so
// it is ready before any load hook runs. The slots' locks are std::mutex,
// which need no creation or deletion of their own.
PortSlot port_slots[kSlotCount];
std::atomic<void*> library_module{nullptr};

PortSlot* SlotOf(uint32_t port) {
  return port < kSlotCount ? &port_slots[port] : nullptr;
}

// The caller holds the slot's lock.
void StoreHandle(PortSlot* slot, PortHandle handle) {
  slot->handle = handle;
  slot->open.store(handle != kClosedPort ? 1 : 0, std::memory_order_relaxed);
}

// Runs `use` on the slot's handle under the slot's lock and returns its
// result; `closed_result` for a bad slot number or a closed port. The lock is
// held only for that one use.
template <typename Result, typename Use>
Result UsePort(uint32_t port, Result closed_result, Use use) {
  PortSlot* slot = SlotOf(port);
  if (slot == nullptr) return closed_result;
  std::lock_guard<std::mutex> hold(slot->lock);
  if (slot->handle == kClosedPort) return closed_result;
  return use(slot->handle);
}

}  // namespace

bool AttachLibrary(void* module) {
  void* none = nullptr;
  library_module.compare_exchange_strong(none, module,
                                         std::memory_order_relaxed);
  return true;
}

void DetachLibrary() {
  library_module.store(nullptr, std::memory_order_relaxed);
}

}  // namespace serial
}  // namespace zep

using zep::serial::ClosePort;
using zep::serial::kClosedPort;
using zep::serial::PortHandle;
using zep::serial::PortSlot;
using zep::serial::SlotOf;
using zep::serial::StoreHandle;
using zep::serial::UsePort;

extern "C" {

void SERLINK_API Kbapi_COMClearBreak(uint32_t port) {
  UsePort(port, false, [](PortHandle h) {
    zep::serial::ClearBreak(h);
    return true;
  });
}

void SERLINK_API Kbapi_COMFlushRxBuff(uint32_t port) {
  UsePort(port, false, [](PortHandle h) {
    zep::serial::PurgeInput(h);
    return true;
  });
}

void SERLINK_API Kbapi_COMFlushTxBuff(uint32_t port) {
  UsePort(port, false, [](PortHandle h) {
    zep::serial::PurgeOutput(h);
    return true;
  });
}

int SERLINK_API Kbapi_COMGetCommEnable(uint32_t port) {
  PortSlot* slot = SlotOf(port);
  if (slot == nullptr) return 0;
  return slot->open.load(std::memory_order_relaxed) != 0 ? 1 : 0;
}

int SERLINK_API Kbapi_COMGetLibInfo(char* text) {
  if (text == nullptr) return 0;
  void* module = zep::serial::library_module.load(std::memory_order_relaxed);
  if (module == nullptr) return 0;
  int major = 0;
  int minor = 0;
  if (!zep::serial::LibraryVersion(module, &major, &minor)) return 0;
  // Two 16-bit numbers need at most 11 characters and the terminator; the
  // caller's buffer holds 12.
  std::snprintf(text, 12, "%d.%d", major, minor);
  return 1;
}

int SERLINK_API Kbapi_COMGetModemStatus(uint32_t* status, uint32_t port) {
  if (status == nullptr) return 0;
  return UsePort(port, 0, [status](PortHandle h) {
    return zep::serial::ReadModemStatus(h, status);
  });
}

int SERLINK_API Kbapi_COMMessageProcs(const uint8_t* send, uint16_t send_length,
                                      uint8_t* receive, uint16_t* count,
                                      uint16_t interval_ms,
                                      uint16_t first_polls,
                                      uint16_t after_polls, uint32_t port) {
  if (SlotOf(port) == nullptr || count == nullptr) return 0;
  Kbapi_COMFlushTxBuff(port);
  Kbapi_COMFlushRxBuff(port);
  if (Kbapi_COMSendString(send, send_length, port) != 1) return 0;
  const uint16_t most = *count;
  int waiting =
      Kbapi_COMRecvChars(interval_ms, first_polls, after_polls, most, port);
  if (waiting <= 0) {
    *count = 0;
    return 0;
  }
  // With an interval of 0 the wait reports the whole queue, which may hold
  // more than the caller's buffer; never take more than the caller asked for.
  if (waiting > most) waiting = most;
  int got = Kbapi_COMRecvString(receive, static_cast<uint16_t>(waiting), port);
  if (got <= 0) return 0;
  *count = static_cast<uint16_t>(got);
  return 1;
}

void SERLINK_API Kbapi_COMPortClose(uint32_t port) {
  PortSlot* slot = SlotOf(port);
  if (slot == nullptr) return;
  std::lock_guard<std::mutex> hold(slot->lock);
  if (slot->handle == kClosedPort) return;
  ClosePort(slot->handle);
  StoreHandle(slot, kClosedPort);
}

int SERLINK_API Kbapi_COMPortOpen(const char* device, uint16_t baud,
                                  uint32_t port) {
  PortSlot* slot = SlotOf(port);
  if (slot == nullptr) return 0;
  std::lock_guard<std::mutex> hold(slot->lock);
  // A slot that is still open gives up its port first; replacing the handle
  // without closing it would leak the handle and keep the device busy.
  if (slot->handle != kClosedPort) {
    ClosePort(slot->handle);
    StoreHandle(slot, kClosedPort);
  }
  PortHandle handle =
      device != nullptr ? zep::serial::OpenPortDevice(device) : kClosedPort;
  StoreHandle(slot, handle);
  if (handle == kClosedPort) return 0;
  if (zep::serial::ConfigurePort(handle, baud)) return 1;
  // A failed open always leaves the slot closed. Closing under the same lock
  // keeps another thread from seeing the half-configured port.
  ClosePort(handle);
  StoreHandle(slot, kClosedPort);
  return 0;
}

int SERLINK_API Kbapi_COMRecvChars(uint16_t interval_ms, uint16_t first_polls,
                                   uint16_t after_polls, uint16_t most,
                                   uint32_t port) {
  if (SlotOf(port) == nullptr) return -1;
  // The countdown is signed: a first-wait count of 0 on a port whose status
  // cannot be read goes below zero at the first failed read, and a countdown
  // at or below zero ends the wait.
  int countdown = first_polls;
  int64_t last_seen = -1;
  for (;;) {
    uint32_t queued = 0;
    // The lock is held for the status read only, never across the sleep, so
    // other threads may use the port while this one waits.
    bool read = UsePort(port, false, [&queued](PortHandle h) {
      return zep::serial::QueuedInputBytes(h, &queued);
    });
    if (read) {
      // A queue never holds near 2^31 bytes; the cap only keeps the result
      // an honest int.
      const int64_t now = queued > 0x7FFFFFFFu ? 0x7FFFFFFF : queued;
      if (interval_ms == 0) return static_cast<int>(now);
      if (now == last_seen) {
        --countdown;
      } else {
        last_seen = now;
        if (now != 0) countdown = after_polls;
        if (now > most) return most;
      }
    } else {
      --countdown;
    }
    if (countdown <= 0) return static_cast<int>(last_seen);
    zep::serial::SleepMilliseconds(interval_ms);
  }
}

int SERLINK_API Kbapi_COMRecvString(uint8_t* buffer, uint16_t count,
                                    uint32_t port) {
  if (buffer == nullptr && count != 0) return -1;
  return UsePort(port, -1, [buffer, count](PortHandle h) {
    return zep::serial::ReadPort(h, buffer, count);
  });
}

int SERLINK_API Kbapi_COMSendString(const uint8_t* buffer, uint16_t length,
                                    uint32_t port) {
  if (SlotOf(port) == nullptr) return 0;
  if (buffer == nullptr && length != 0) return 0;
  // A closed port writes nothing: only an empty text counts as all written.
  int written = UsePort(port, 0, [buffer, length](PortHandle h) {
    return zep::serial::WritePort(h, buffer, length);
  });
  return written == length ? 1 : 0;
}

void SERLINK_API Kbapi_COMSetBoudrate(uint16_t baud, uint32_t port) {
  bool open = UsePort(port, false, [baud](PortHandle h) {
    zep::serial::SetPortBaud(h, baud);
    return true;
  });
  if (!open) return;
  Kbapi_COMClearBreak(port);
  Kbapi_COMFlushTxBuff(port);
  Kbapi_COMFlushRxBuff(port);
}

void SERLINK_API Kbapi_COMSetBreak(uint32_t port) {
  UsePort(port, false, [](PortHandle h) {
    zep::serial::SetBreak(h);
    return true;
  });
}

int SERLINK_API Kbapi_COMSetDTR(int on, uint32_t port) {
  return UsePort(port, 0, [on](PortHandle h) {
    return zep::serial::SetDtrLine(h, on != 0);
  });
}

int SERLINK_API Kbapi_COMSetRTS(int on, uint32_t port) {
  return UsePort(port, 0, [on](PortHandle h) {
    return zep::serial::SetRtsLine(h, on != 0);
  });
}

}  // extern "C"
