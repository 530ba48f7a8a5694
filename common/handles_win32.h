// A Windows handle closed on every path, for the handle kinds that the
// service host and the installer's actions open: the type and the function
// that closes it are the template's arguments. Windows only.
#pragma once

#include <windows.h>

namespace zep {

template <typename Handle, auto Close>
class Win32Handle {
 public:
  explicit Win32Handle(Handle handle) : handle_(handle) {}
  ~Win32Handle() {
    if (handle_ != nullptr) Close(handle_);
  }
  Win32Handle(const Win32Handle&) = delete;
  Win32Handle& operator=(const Win32Handle&) = delete;
  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Handle handle_;
};

/// A handle of the service control manager or of one of its services.
using ServiceManagerHandle = Win32Handle<SC_HANDLE, &CloseServiceHandle>;
/// A process opened by its identifier (OpenProcess gives null on failure).
using ProcessHandle = Win32Handle<HANDLE, &CloseHandle>;

}  // namespace zep
