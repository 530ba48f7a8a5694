// The entry point of serlink32.dll (exported as DllMain, ordinal 17).

#include <windows.h>

#include "serial_library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      // Does nothing when the library is already initialised.
      return zep::serial::AttachLibrary(module) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      // Open ports are not closed: the process is ending or letting go of
      // the library, and the system closes its handles.
      zep::serial::DetachLibrary();
      return TRUE;
    case DLL_THREAD_ATTACH:
    case DLL_THREAD_DETACH:
      return TRUE;
    default:
      return FALSE;
  }
}
