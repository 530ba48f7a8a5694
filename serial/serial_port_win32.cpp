// The Windows backend of serlink32: the communications functions on a COM
// port handle, and the version resource of the library itself.

#include <windows.h>

#include <cstring>

#include "serial_port.h"

namespace zep {
namespace serial {
namespace {

constexpr DWORD kQueueSize = 2048;

HANDLE Handle(PortHandle port) { return reinterpret_cast<HANDLE>(port); }

int Escape(PortHandle port, DWORD function) {
  return EscapeCommFunction(Handle(port), function) ? 1 : 0;
}

}  // namespace

PortHandle OpenPortDevice(const char* device) {
  // No sharing, default security, the existing device only, synchronous I/O.
  HANDLE handle = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kClosedPort;
  return reinterpret_cast<PortHandle>(handle);
}

bool ConfigurePort(PortHandle port, uint16_t baud) {
  HANDLE handle = Handle(port);
  if (!SetupComm(handle, kQueueSize, kQueueSize)) return false;
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return false;
  // The fixed line settings. XON/XOFF limits and characters and the error,
  // end and event characters stay as the port had them.
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.fParity = FALSE;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fTXContinueOnXoff = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(handle, &dcb)) return false;
  // A read returns at once with what is waiting, as on POSIX. Callers read
  // only bytes the queue count has shown them, so this changes nothing for
  // them; but a read for more than has arrived can no longer block while the
  // slot's lock is held (and with it every other user of the port, closing
  // included). Writes keep no time-out. A port that refuses is still usable.
  COMMTIMEOUTS timeouts;
  std::memset(&timeouts, 0, sizeof timeouts);
  timeouts.ReadIntervalTimeout = MAXDWORD;
  SetCommTimeouts(handle, &timeouts);
  return true;
}

void ClosePort(PortHandle port) { CloseHandle(Handle(port)); }

bool QueuedInputBytes(PortHandle port, uint32_t* count) {
  DWORD errors = 0;
  COMSTAT status;
  std::memset(&status, 0, sizeof status);
  // Reading the status also clears any pending line error, which the
  // library does not report.
  if (!ClearCommError(Handle(port), &errors, &status)) return false;
  *count = status.cbInQue;
  return true;
}

int ReadPort(PortHandle port, uint8_t* buffer, uint16_t count) {
  DWORD read = 0;
  if (!ReadFile(Handle(port), buffer, count, &read, nullptr)) return -1;
  return static_cast<int>(read);
}

int WritePort(PortHandle port, const uint8_t* buffer, uint16_t length) {
  DWORD written = 0;
  if (!WriteFile(Handle(port), buffer, length, &written, nullptr)) return -1;
  return static_cast<int>(written);
}

void PurgeInput(PortHandle port) { PurgeComm(Handle(port), PURGE_RXCLEAR); }

void PurgeOutput(PortHandle port) { PurgeComm(Handle(port), PURGE_TXCLEAR); }

void SetBreak(PortHandle port) { SetCommBreak(Handle(port)); }

void ClearBreak(PortHandle port) { ClearCommBreak(Handle(port)); }

// Under Wine a COM port on a pseudo-terminal refuses the modem lines (error
// 50); the caller gets 0 and the port stays usable.
int SetRtsLine(PortHandle port, bool on) {
  return Escape(port, on ? SETRTS : CLRRTS);
}

int SetDtrLine(PortHandle port, bool on) {
  return Escape(port, on ? SETDTR : CLRDTR);
}

int ReadModemStatus(PortHandle port, uint32_t* status) {
  DWORD word = 0;
  if (!GetCommModemStatus(Handle(port), &word)) return 0;
  *status = word;
  return 1;
}

bool SetPortBaud(PortHandle port, uint16_t baud) {
  HANDLE handle = Handle(port);
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return false;
  dcb.BaudRate = baud;
  return SetCommState(handle, &dcb) != 0;
}

void SleepMilliseconds(uint16_t ms) { Sleep(ms); }

bool LibraryVersion(void* module, int* major, int* minor) {
  if (module == nullptr) return false;
  HMODULE self = static_cast<HMODULE>(module);
  HRSRC found = FindResourceA(self, MAKEINTRESOURCEA(1), RT_VERSION);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(self, found);
  if (loaded == nullptr) return false;
  const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
  const DWORD size = SizeofResource(self, found);
  if (data == nullptr) return false;
  // The block starts with its length, the value length and the type (three
  // 16-bit words), then the key L"VS_VERSION_INFO" with its terminator,
  // padding to a 32-bit boundary, and the fixed file information.
  static const wchar_t kKey[] = L"VS_VERSION_INFO";
  const size_t key_offset = 3 * sizeof(WORD);
  const size_t value_offset = (key_offset + sizeof kKey + 3) & ~size_t{3};
  if (size < value_offset + sizeof(VS_FIXEDFILEINFO)) return false;
  if (std::memcmp(data + key_offset, kKey, sizeof kKey) != 0) return false;
  WORD value_length = 0;
  std::memcpy(&value_length, data + sizeof(WORD), sizeof value_length);
  if (value_length < sizeof(VS_FIXEDFILEINFO)) return false;
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, data + value_offset, sizeof info);
  if (info.dwSignature != 0xFEEF04BD) return false;
  *major = HIWORD(info.dwFileVersionMS);
  *minor = LOWORD(info.dwFileVersionMS);
  return true;
}

}  // namespace serial
}  // namespace zep
