#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "pty_line_posix.h"

namespace zep {
namespace test {

std::unique_ptr<PtyLine> PtyLine::Open(std::string* why) {
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    *why = std::string("openpty failed: ") + std::strerror(errno);
    return nullptr;
  }
  char name[256];
  if (ttyname_r(slave, name, sizeof name) != 0) {
    *why = "ttyname_r failed";
    close(master);
    close(slave);
    return nullptr;
  }
  // Raw from the start, so nothing the responder writes before the library
  // configures the line is translated.
  termios settings;
  if (tcgetattr(slave, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(slave, TCSANOW, &settings);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return std::unique_ptr<PtyLine>(new PtyLine(master, slave, name));
}

PtyLine::PtyLine(int master, int slave, std::string device)
    : master_(master), slave_(slave), device_(std::move(device)) {
  thread_ = std::thread([this] { Run(); });
}

PtyLine::~PtyLine() {
  stop_.store(true);
  thread_.join();
  close(master_);
  close(slave_);
}

void PtyLine::WriteAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size() && !stop_.load()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd out{master_, POLLOUT, 0};
      poll(&out, 1, 10);
    }
  }
}

void PtyLine::Answer(const std::string& line) {
  if (line == "SILENT") return;
  if (line == "PIECES") {
    for (int i = 0; i < 8; ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::string piece = "PIECE" + std::to_string(i);
      if (i == 7) piece += '\r';
      WriteAll(piece);
    }
    return;
  }
  if (line == "LONG") {
    std::string reply;
    for (int i = 0; i < 99; ++i) reply += static_cast<char>('0' + i % 10);
    WriteAll(reply + '\r');
    return;
  }
  WriteAll("<" + line + ">\r");
}

void PtyLine::Run() {
  std::string line;
  const std::string filler(64, 'n');
  while (!stop_.load()) {
    const bool noise = noise_.load();
    pollfd watch{master_, static_cast<short>(POLLIN | (noise ? POLLOUT : 0)),
                 0};
    if (poll(&watch, 1, 10) <= 0) continue;
    if (watch.revents & POLLIN) {
      char buffer[256];
      ssize_t n = read(master_, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\r') {
          Answer(line);
          line.clear();
        } else {
          line += buffer[i];
        }
      }
    }
    if (noise && (watch.revents & POLLOUT)) {
      // Whatever fits; a full line simply waits for the next turn.
      ssize_t n = write(master_, filler.data(), filler.size());
      (void)n;
    }
  }
}

std::unique_ptr<LinePeer> StartLinePeer(std::string* why) {
  return PtyLine::Open(why);
}

const char* MissingDeviceName() { return "/dev/zep-no-such-serial-device"; }

}  // namespace test
}  // namespace zep
