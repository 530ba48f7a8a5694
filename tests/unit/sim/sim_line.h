// The service's side of the simulator's line for the tests: opens the
// terminal like a COM port (raw, 8N1, a chosen speed), writes requests and
// reads what comes back.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace zep {
namespace test {

inline speed_t SpeedCode(int baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    default:
      return B38400;
  }
}

class SimLine {
 public:
  SimLine(const std::string& path, int baud) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ >= 0) {
      SetBaud(baud);
      tcflush(fd_, TCIOFLUSH);
    }
  }
  ~SimLine() {
    if (fd_ >= 0) close(fd_);
  }
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  bool ok() const { return fd_ >= 0; }

  void SetBaud(int baud) {
    struct termios t;
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, SpeedCode(baud));
    cfsetospeed(&t, SpeedCode(baud));
    tcsetattr(fd_, TCSANOW, &t);
  }

  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  /// Waits up to `first_ms` for the first byte, then reads until the line
  /// has been quiet for `idle_ms`.
  std::string Read(int first_ms = 3000, int idle_ms = 150) {
    std::string got;
    int wait = first_ms;
    for (;;) {
      struct pollfd p = {fd_, POLLIN, 0};
      if (poll(&p, 1, wait) <= 0) return got;
      char buffer[512];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) return got;
      got.append(buffer, static_cast<size_t>(n));
      wait = idle_ms;
    }
  }

  /// Discards stale input, sends `request` and returns the answer.
  std::string Ask(const std::string& request) {
    tcflush(fd_, TCIFLUSH);
    Write(request);
    return Read();
  }

 private:
  int fd_ = -1;
};

/// Polls `condition` for up to `timeout_ms`.
inline bool WaitFor(const std::function<bool()>& condition,
                    int timeout_ms = 5000) {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

/// "AB 01 33 21": bytes as upper-case hex, for readable expectations.
inline std::string Hex(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes) {
    char part[4];
    std::snprintf(part, sizeof part, "%02X", c);
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

/// The bytes of a hex text such as "AB 01 33 21".
inline std::string Bytes(const std::string& hex) {
  std::string bytes;
  unsigned value = 0;
  int digits = 0;
  for (char c : hex) {
    if (c == ' ') continue;
    value = value * 16 +
            static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    if (++digits == 2) {
      bytes += static_cast<char>(value);
      value = 0;
      digits = 0;
    }
  }
  return bytes;
}

}  // namespace test
}  // namespace zep
