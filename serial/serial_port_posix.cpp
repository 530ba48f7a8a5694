// The termios backend of serlink32, and its load and unload hooks.

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "device_path.h"
#include "serial_library.h"
#include "serial_port.h"
#include "serlink32_version.h"

namespace zep {
namespace serial {
namespace {

// Modem status bits in the values the Windows interface gives them.
constexpr uint32_t kModemCts = 0x10;
constexpr uint32_t kModemDsr = 0x20;
constexpr uint32_t kModemRing = 0x40;
constexpr uint32_t kModemCarrier = 0x80;

struct SpeedRow {
  uint16_t baud;
  speed_t speed;
};

// Every termios speed a 16-bit value can name. Any other value is refused.
constexpr SpeedRow kSpeeds[] = {
    {50, B50},     {75, B75},       {110, B110},     {134, B134},
    {150, B150},   {200, B200},     {300, B300},     {600, B600},
    {1200, B1200}, {1800, B1800},   {2400, B2400},   {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600},
};

bool SpeedFor(uint16_t baud, speed_t* speed) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.baud == baud) {
      *speed = row.speed;
      return true;
    }
  }
  return false;
}

int Descriptor(PortHandle port) { return static_cast<int>(port); }

bool SetSpeed(termios* settings, uint16_t baud) {
  speed_t speed;
  if (!SpeedFor(baud, &speed)) return false;
  return cfsetispeed(settings, speed) == 0 && cfsetospeed(settings, speed) == 0;
}

int ModemLine(PortHandle port, int line, bool on) {
  int bits = line;
  return ioctl(Descriptor(port), on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 1 : 0;
}

// A marker whose address stands for the module handle: the POSIX library
// needs none to find its version, but a non-null value marks it initialised.
const char kLoadedMarker = 0;

__attribute__((constructor)) void LoadSerialLibrary() {
  AttachLibrary(const_cast<char*>(&kLoadedMarker));
}

__attribute__((destructor)) void UnloadSerialLibrary() { DetachLibrary(); }

}  // namespace

PortHandle OpenPortDevice(const char* device) {
  const std::string path = PosixDevicePath(device);
  // Non-blocking only for the open itself, so that a port without carrier
  // does not hang it; reads and writes then block like the synchronous
  // Windows calls (reads still return at once, see VMIN and VTIME below).
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return kClosedPort;
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return kClosedPort;
  }
  // No sharing, as on Windows: later opens by others are refused. A device
  // that does not support it is still usable.
  ioctl(fd, TIOCEXCL);
  return fd;
}

bool ConfigurePort(PortHandle port, uint16_t baud) {
  const int fd = Descriptor(port);
  termios settings;
  if (tcgetattr(fd, &settings) != 0) return false;
  // Raw bytes: no parity checking or marking, no stripping or translation, no
  // XON/XOFF either way, no output processing, no echo or line editing.
  settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                        ICRNL | IXON | IXOFF | IXANY | INPCK);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  // 8 data bits, no parity, 1 stop bit, no hardware flow control; modem
  // lines do not gate the port.
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  // A read returns at once with what is waiting: callers only read bytes the
  // queue count has shown them.
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  if (!SetSpeed(&settings, baud)) return false;
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
  // DTR and RTS low. A pseudo-terminal has no modem lines and refuses this,
  // which does not make the port less usable.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(fd, TIOCMBIC, &lines);
  // termios has no queue sizes to set; the driver's own buffers serve.
  return true;
}

void ClosePort(PortHandle port) {
  const int fd = Descriptor(port);
  // Give up the exclusive use explicitly: the flag belongs to the terminal
  // and would outlive this descriptor while anyone else holds it open.
  ioctl(fd, TIOCNXCL);
  close(fd);
}

bool QueuedInputBytes(PortHandle port, uint32_t* count) {
  int queued = 0;
  if (ioctl(Descriptor(port), TIOCINQ, &queued) != 0 || queued < 0) {
    return false;
  }
  *count = static_cast<uint32_t>(queued);
  return true;
}

int ReadPort(PortHandle port, uint8_t* buffer, uint16_t count) {
  if (count == 0) return 0;
  for (;;) {
    ssize_t n = read(Descriptor(port), buffer, count);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return -1;
  }
}

int WritePort(PortHandle port, const uint8_t* buffer, uint16_t length) {
  int written = 0;
  while (written < length) {
    ssize_t n = write(Descriptor(port), buffer + written,
                      static_cast<size_t>(length - written));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    written += static_cast<int>(n);
  }
  return written;
}

void PurgeInput(PortHandle port) { tcflush(Descriptor(port), TCIFLUSH); }

void PurgeOutput(PortHandle port) { tcflush(Descriptor(port), TCOFLUSH); }

void SetBreak(PortHandle port) { ioctl(Descriptor(port), TIOCSBRK); }

void ClearBreak(PortHandle port) { ioctl(Descriptor(port), TIOCCBRK); }

int SetRtsLine(PortHandle port, bool on) {
  return ModemLine(port, TIOCM_RTS, on);
}

int SetDtrLine(PortHandle port, bool on) {
  return ModemLine(port, TIOCM_DTR, on);
}

int ReadModemStatus(PortHandle port, uint32_t* status) {
  int bits = 0;
  if (ioctl(Descriptor(port), TIOCMGET, &bits) != 0) return 0;
  uint32_t word = 0;
  if (bits & TIOCM_CTS) word |= kModemCts;
  if (bits & TIOCM_DSR) word |= kModemDsr;
  if (bits & TIOCM_RNG) word |= kModemRing;
  if (bits & TIOCM_CAR) word |= kModemCarrier;
  *status = word;
  return 1;
}

bool SetPortBaud(PortHandle port, uint16_t baud) {
  const int fd = Descriptor(port);
  termios settings;
  if (tcgetattr(fd, &settings) != 0) return false;
  if (!SetSpeed(&settings, baud)) return false;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

void SleepMilliseconds(uint16_t ms) {
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

bool LibraryVersion(void* module, int* major, int* minor) {
  if (module == nullptr) return false;
  // The project's version, the same numbers the Windows build writes into the
  // library's version resource.
  *major = ZEP_VERSION_MAJOR;
  *minor = ZEP_VERSION_MINOR;
  return true;
}

}  // namespace serial
}  // namespace zep
