// test_window.exe: a hidden window of class name and title "zepg", as the
// tray program has, for the cases of AppClose that the tray cannot show: a
// program that ends a while after its window is gone, and a window that
// never closes. Without options it closes on WM_CLOSE and ends, as the
// tray does.
//
//   test_window.exe [--linger MS] [--ignore-close]
//
// --linger MS     the program ends MS milliseconds after its window is gone
// --ignore-close  WM_CLOSE is refused: the window never closes
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

bool ignore_close = false;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      if (!ignore_close) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

// A windowed program, as the tray is: no console comes with it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const int argc = __argc;
  char** const argv = __argv;
  DWORD linger_ms = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--ignore-close") == 0) {
      ignore_close = true;
    } else if (std::strcmp(argv[i], "--linger") == 0 && i + 1 < argc) {
      linger_ms = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    }
  }
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"zepg";
  if (RegisterClassW(&window_class) == 0) return 1;
  // Never shown, like the tray program's window.
  if (CreateWindowW(L"zepg", L"zepg", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 0,
                    0, nullptr, nullptr, instance, nullptr) == nullptr) {
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Sleep(linger_ms);
  return 0;
}
