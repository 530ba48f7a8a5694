// serlink32 on a pseudo-terminal, where the test can look behind the library:
// the terminal settings it made, the descriptors it holds, a line that never
// stops sending.

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "pty_line_posix.h"
#include "serlink32.h"

namespace zep {
namespace test {
namespace {

// A speed as a caller with 32-bit values would pass it (high words above the
// 16 bits the interface carries).
uint32_t WideSpeed(uint32_t high, uint32_t low) { return (high << 16) | low; }

int OpenDescriptorCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

class SerlinkPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    line_ = PtyLine::Open(&why);
    ASSERT_NE(nullptr, line_) << why;
  }

  void TearDown() override {
    Kbapi_COMPortClose(0);
    Kbapi_COMPortClose(1);
  }

  speed_t OutputSpeed() const {
    termios settings = Settings();
    return cfgetospeed(&settings);
  }

  termios Settings() const {
    termios settings;
    std::memset(&settings, 0, sizeof settings);
    EXPECT_EQ(0, tcgetattr(line_->slave_fd(), &settings));
    return settings;
  }

  const char* device() const { return line_->device().c_str(); }

  std::unique_ptr<PtyLine> line_;
};

TEST_F(SerlinkPtyTest, OpenMakesTheFixedLineSettings) {
  // Start from settings the library must undo: parity, two stop bits, seven
  // bits, flow control, line editing and translation.
  termios dirty = Settings();
  dirty.c_cflag = (dirty.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  dirty.c_iflag |= IXON | IXOFF | INPCK | ICRNL | ISTRIP;
  dirty.c_oflag |= OPOST;
  dirty.c_lflag |= ICANON | ECHO | ISIG;
  dirty.c_cc[VMIN] = 1;
  dirty.c_cc[VTIME] = 5;
  ASSERT_EQ(0, tcsetattr(line_->slave_fd(), TCSANOW, &dirty));

  ASSERT_EQ(1, Kbapi_COMPortOpen(device(), 2400, 0));
  termios made = Settings();
  EXPECT_EQ(static_cast<tcflag_t>(CS8), made.c_cflag & CSIZE);
  EXPECT_EQ(0u, made.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_EQ(static_cast<tcflag_t>(CLOCAL | CREAD),
            made.c_cflag & (CLOCAL | CREAD));
  EXPECT_EQ(0u, made.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP));
  EXPECT_EQ(0u, made.c_oflag & OPOST);
  EXPECT_EQ(0u, made.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(0, made.c_cc[VMIN]);
  EXPECT_EQ(0, made.c_cc[VTIME]);
  EXPECT_EQ(static_cast<speed_t>(B2400), cfgetospeed(&made));
  EXPECT_EQ(static_cast<speed_t>(B2400), cfgetispeed(&made));
}

TEST_F(SerlinkPtyTest, SpeedsAreTheLowSixteenBits) {
  // 75136 = 65536 + 9600 and 70336 = 65536 + 4800.
  const uint32_t wide_open = WideSpeed(1, 9600);
  const uint32_t wide_change = WideSpeed(1, 4800);
  ASSERT_EQ(75136u, wide_open);
  ASSERT_EQ(70336u, wide_change);
  ASSERT_EQ(1, Kbapi_COMPortOpen(device(), wide_open, 0));
  EXPECT_EQ(static_cast<speed_t>(B9600), OutputSpeed());
  Kbapi_COMSetBoudrate(wide_change, 0);
  EXPECT_EQ(static_cast<speed_t>(B4800), OutputSpeed());
}

TEST_F(SerlinkPtyTest, SpeedsWithoutATermiosValueAreRefused) {
  // 66536 = 65536 + 1000, and 1000 bits per second is no termios speed.
  const uint32_t wide = WideSpeed(1, 1000);
  ASSERT_EQ(66536u, wide);
  EXPECT_EQ(0, Kbapi_COMPortOpen(device(), wide, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  // Changing to such a speed keeps the one the port has.
  ASSERT_EQ(1, Kbapi_COMPortOpen(device(), 19200, 0));
  Kbapi_COMSetBoudrate(1000, 0);
  EXPECT_EQ(static_cast<speed_t>(B19200), OutputSpeed());
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
}

TEST_F(SerlinkPtyTest, ReopeningKeepsNoOldDescriptor) {
  const int before = OpenDescriptorCount();
  ASSERT_GT(before, 0);
  // Reopening a slot that is open gives up its old descriptor; a failed
  // open keeps none.
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(1, Kbapi_COMPortOpen(device(), 9600, 0));
  }
  EXPECT_EQ(before + 1, OpenDescriptorCount());
  EXPECT_EQ(0, Kbapi_COMPortOpen("/dev/zep-no-such-serial-device", 9600, 1));
  EXPECT_EQ(before + 1, OpenDescriptorCount());
  Kbapi_COMPortClose(0);
  EXPECT_EQ(before, OpenDescriptorCount());
}

TEST_F(SerlinkPtyTest, ScriptsStartedLaterDoNotInheritThePort) {
  ASSERT_EQ(1, Kbapi_COMPortOpen(device(), 9600, 0));
  // The library's descriptor is the one naming the device that is not the
  // test's own.
  int found = -1;
  for (int fd = 0; fd < 1024; ++fd) {
    if (fd == line_->slave_fd()) continue;
    char link[64];
    char target[256];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (line_->device() == target) found = fd;
  }
  ASSERT_GE(found, 0);
  EXPECT_NE(0, fcntl(found, F_GETFD) & FD_CLOEXEC);
}

TEST_F(SerlinkPtyTest, IntervalZeroExchangeNeverOverfillsTheBuffer) {
  ASSERT_EQ(1, Kbapi_COMPortOpen(device(), 9600, 0));
  // Bytes arrive at every moment, so the count read right after the
  // request often shows many more bytes than the four asked for. The
  // exchange must still take four at most.
  line_->SetNoise(true);
  int exchanges = 0;
  for (int i = 0; i < 400 && exchanges < 20; ++i) {
    uint8_t buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    uint16_t count = 4;
    const uint8_t request[] = "N\r";
    int result =
        Kbapi_COMMessageProcs(request, 2, buffer, &count, 0, 20, 2, 0);
    if (result == 1) {
      ++exchanges;
      EXPECT_GE(count, 1);
      EXPECT_LE(count, 4);
      for (size_t at = 4; at < sizeof buffer; ++at) {
        EXPECT_EQ('#', buffer[at]) << "byte " << at;
      }
    } else {
      EXPECT_EQ(0, count);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  line_->SetNoise(false);
  EXPECT_GT(exchanges, 0);
}

}  // namespace
}  // namespace test
}  // namespace zep
