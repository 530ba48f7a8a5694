#include "pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "process.h"
#include "text_format.h"

namespace zep {
namespace {

struct SpeedRow {
  speed_t code;
  int baud;
};

const SpeedRow kSpeeds[] = {
    {B50, 50},         {B75, 75},         {B110, 110},     {B134, 134},
    {B150, 150},       {B200, 200},       {B300, 300},     {B600, 600},
    {B1200, 1200},     {B1800, 1800},     {B2400, 2400},   {B4800, 4800},
    {B9600, 9600},     {B19200, 19200},   {B38400, 38400}, {B57600, 57600},
    {B115200, 115200}, {B230400, 230400},
};

std::string SystemError(const char* what) {
  return FormatText("%s: %s", what, std::strerror(errno));
}

/// The path a symbolic link points at, or "" when `path` is not a link.
std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  if (n < 0) return std::string();
  return std::string(target, static_cast<size_t>(n));
}

}  // namespace

int BaudFromSpeedCode(unsigned speed_code) {
  for (const SpeedRow& row : kSpeeds) {
    if (row.code == speed_code) return row.baud;
  }
  return -1;
}

PseudoTerminal::~PseudoTerminal() { Close(); }

bool PseudoTerminal::Open(const std::string& link_path, std::string* error) {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    *error = SystemError("posix_openpt");
    return false;
  }
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    *error = SystemError("grantpt/unlockpt");
    Close();
    return false;
  }
  char name[256];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    *error = SystemError("ptsname");
    Close();
    return false;
  }
  slave_path_ = name;
  slave_keep_ = open(name, O_RDWR | O_NOCTTY);
  if (slave_keep_ < 0) {
    *error = SystemError("open of the terminal's slave side");
    Close();
    return false;
  }
  // Raw from the start: no echo (the simulator would read its own answers
  // back), no CR translation, 8 data bits.
  struct termios settings;
  if (tcgetattr(slave_keep_, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(slave_keep_, TCSANOW, &settings);
  }
  const int flags = fcntl(master_, F_GETFL);
  fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_keep_, F_SETFD, FD_CLOEXEC);

  if (!link_path.empty()) {
    struct stat info;
    if (lstat(link_path.c_str(), &info) == 0) {
      if (!S_ISLNK(info.st_mode)) {
        *error = FormatText("%s exists and is not a symbolic link",
                            link_path.c_str());
        Close();
        return false;
      }
      unlink(link_path.c_str());
    }
    if (symlink(slave_path_.c_str(), link_path.c_str()) != 0) {
      *error = SystemError(FormatText("symlink %s", link_path.c_str()).c_str());
      Close();
      return false;
    }
    link_path_ = link_path;
  }
  return true;
}

void PseudoTerminal::Close() {
  if (!link_path_.empty()) {
    // Another simulator may have taken the link over; leave it to that one.
    if (LinkTarget(link_path_) == slave_path_) unlink(link_path_.c_str());
    link_path_.clear();
  }
  if (slave_keep_ >= 0) close(slave_keep_);
  if (master_ >= 0) close(master_);
  slave_keep_ = -1;
  master_ = -1;
  slave_path_.clear();
}

int PseudoTerminal::LineSpeed() const {
  if (master_ < 0) return -1;
  struct termios settings;
  if (tcgetattr(master_, &settings) != 0) return -1;
  return BaudFromSpeedCode(cfgetospeed(&settings));
}

long PseudoTerminal::Read(uint8_t* buffer, size_t size) {
  if (master_ < 0) return -1;
  const ssize_t n = read(master_, buffer, size);
  if (n >= 0) return static_cast<long>(n);
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
  return -1;
}

bool PseudoTerminal::WriteAll(const uint8_t* bytes, size_t size,
                              int timeout_ms) {
  if (master_ < 0) return false;
  const int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(master_, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      return false;
    }
    const int64_t left = deadline - MonotonicMilliseconds();
    if (left <= 0) return false;
    struct pollfd waiting = {master_, POLLOUT, 0};
    poll(&waiting, 1, static_cast<int>(left));
  }
  return true;
}

}  // namespace zep
