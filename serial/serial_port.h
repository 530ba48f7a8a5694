// The port backend of serlink32: the few operating-system calls the library
// makes on an open port, one backend file per platform (serial_port_posix.cpp
// on termios, serial_port_win32.cpp on the communications functions).
//
// Backends only do the platform work. Slot numbers, locking, the closed-slot
// results and the receive wait live in serlink32.cpp, once for both.
#ifndef ZEP_SERIAL_SERIAL_PORT_H_
#define ZEP_SERIAL_SERIAL_PORT_H_

#include <stdint.h>

namespace zep {
namespace serial {

/// An open port as the platform knows it: a file descriptor on POSIX, a
/// HANDLE on Windows. kClosedPort is the invalid-handle value (-1) that a
/// closed slot holds on both.
using PortHandle = intptr_t;
constexpr PortHandle kClosedPort = -1;

/// Opens the device for reading and writing, for this process alone, without
/// changing its settings. kClosedPort when it cannot be opened.
PortHandle OpenPortDevice(const char* device);

/// Applies the fixed line settings (8 data bits, no parity, 1 stop bit, no
/// flow control, DTR and RTS low, 2048-byte queues where the platform has
/// them) with the given speed. False when the port refuses any of it.
bool ConfigurePort(PortHandle port, uint16_t baud);

void ClosePort(PortHandle port);

/// The number of bytes waiting in the input queue. Clears any pending line
/// error on platforms that keep one. False when the status cannot be read.
bool QueuedInputBytes(PortHandle port, uint32_t* count);

/// One read of at most `count` bytes of what is waiting; the number read,
/// or -1 on failure.
int ReadPort(PortHandle port, uint8_t* buffer, uint16_t count);

/// Writes all `length` bytes; the number written, or -1 on failure.
int WritePort(PortHandle port, const uint8_t* buffer, uint16_t length);

/// Discard the input queue and the output queue, each on its own.
void PurgeInput(PortHandle port);
void PurgeOutput(PortHandle port);

void SetBreak(PortHandle port);
void ClearBreak(PortHandle port);

/// Raise (on) or lower a modem control line: 1 on success, 0 when the
/// platform refuses (as a pseudo-terminal does).
int SetRtsLine(PortHandle port, bool on);
int SetDtrLine(PortHandle port, bool on);

/// The modem status word with the Windows bit values (CTS 0x10, DSR 0x20,
/// ring 0x40, carrier 0x80): 1 and the word, or 0 when it cannot be read.
int ReadModemStatus(PortHandle port, uint32_t* status);

/// Changes only the speed of an open port; false when the platform refuses.
bool SetPortBaud(PortHandle port, uint16_t baud);

/// Sleeps the calling thread.
void SleepMilliseconds(uint16_t ms);

/// The library's major and minor version, read through the module handle
/// stored at load. False when it cannot be found.
bool LibraryVersion(void* module, int* major, int* minor);

}  // namespace serial
}  // namespace zep

#endif  // ZEP_SERIAL_SERIAL_PORT_H_
