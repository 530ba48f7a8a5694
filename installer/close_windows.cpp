#include "close_windows.h"

#include <windows.h>

namespace zep {
namespace {

// A window that got WM_CLOSE is searched for again after this pause: a
// search at once would flood its queue with WM_CLOSE while it is closing.
constexpr DWORD kSearchPauseMs = 50;

// The processes that owned the closed windows, held open so that their
// end can be waited for; as many as one wait can take.
class OwnerProcesses {
 public:
  OwnerProcesses() = default;
  OwnerProcesses(const OwnerProcesses&) = delete;
  OwnerProcesses& operator=(const OwnerProcesses&) = delete;
  ~OwnerProcesses() {
    for (DWORD i = 0; i < count_; ++i) CloseHandle(handles_[i]);
  }

  void Add(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    if (id == 0 || id == GetCurrentProcessId()) return;
    for (DWORD i = 0; i < count_; ++i) {
      if (ids_[i] == id) return;
    }
    if (count_ == MAXIMUM_WAIT_OBJECTS) return;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return;
    ids_[count_] = id;
    handles_[count_] = process;
    ++count_;
  }

  void WaitForAll(DWORD timeout_ms) const {
    if (count_ == 0) return;
    WaitForMultipleObjects(count_, handles_, TRUE, timeout_ms);
  }

 private:
  DWORD ids_[MAXIMUM_WAIT_OBJECTS] = {};
  HANDLE handles_[MAXIMUM_WAIT_OBJECTS] = {};
  DWORD count_ = 0;
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
