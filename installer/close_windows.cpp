#include "close_windows.h"

#include <windows.h>

#include <vector>

namespace zep {
namespace {

// A window that got WM_CLOSE is searched for again after this pause: a
// search at once would flood its queue with WM_CLOSE while it is closing.
constexpr DWORD kSearchPauseMs = 50;

// The processes that owned the closed windows, held open so that their
// end can be waited for.
class OwnerProcesses {
 public:
  OwnerProcesses() = default;
  OwnerProcesses(const OwnerProcesses&) = delete;
  OwnerProcesses& operator=(const OwnerProcesses&) = delete;
  ~OwnerProcesses() {
    for (HANDLE process : handles_) CloseHandle(process);
  }

  void Add(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    if (id == 0 || id == GetCurrentProcessId()) return;
    for (DWORD known : ids_) {
      if (known == id) return;
    }
    if (handles_.size() >= MAXIMUM_WAIT_OBJECTS) return;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return;
    ids_.push_back(id);
    handles_.push_back(process);
  }

  void WaitForAll(DWORD timeout_ms) const {
    if (handles_.empty()) return;
    WaitForMultipleObjects(static_cast<DWORD>(handles_.size()), handles_.data(),
                           TRUE, timeout_ms);
  }

 private:
  std::vector<DWORD> ids_;
  std::vector<HANDLE> handles_;
};

}  // namespace

void CloseWindowsNamed(const wchar_t* name) {
  OwnerProcesses owners;
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    HWND window = FindWindowW(name, name);
    if (window == nullptr) break;
    owners.Add(window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    // A window that is still there now will not close: its program is not
    // going to end either, so it is not waited for.
    if (GetTickCount64() - start >= kCloseSearchMs) return;
    Sleep(kSearchPauseMs);
  }
  owners.WaitForAll(kProcessEndMs);
}

}  // namespace zep
