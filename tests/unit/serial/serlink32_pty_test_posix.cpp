// serlink32 on a pseudo-terminal, looking behind the library: the terminal
// settings it made, the descriptors it holds, a line that never goes quiet.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "pty_line_posix.h"
#include "serlink32.h"

namespace zep {
namespace test {
namespace {

class SerlinkPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    line_ = PtyLine::Open(&why);
    ASSERT_NE(nullptr, line_) << why;
  }
  void TearDown() override { Kbapi_COMPortClose(0); }

  termios Settings() const {
    termios settings{};
    EXPECT_EQ(0, tcgetattr(line_->slave_fd(), &settings));
    return settings;
  }
  speed_t Speed() const {
    termios settings = Settings();
    return cfgetospeed(&settings);
  }
  int Open(uint32_t baud) {
    return Kbapi_COMPortOpen(line_->device().c_str(), baud, 0);
  }

  std::unique_ptr<PtyLine> line_;
};

// A speed as a caller with 32-bit values passes it: 65536 above `low`.
uint32_t Wide(uint32_t low) { return (1u << 16) | low; }

// The descriptors of this process that name the line, the test's own
// excepted: the library's.
std::vector<int> LibraryDescriptors(const PtyLine &line) {
  std::vector<int> found;
  DIR *dir = opendir("/proc/self/fd");
  while (dirent *entry = readdir(dir)) {
    int fd = std::atoi(entry->d_name);
    char target[256] = {};
    std::string link = std::string("/proc/self/fd/") + entry->d_name;
    if (fd != line.slave_fd() &&
        readlink(link.c_str(), target, sizeof target - 1) > 0 &&
        line.device() == target) {
      found.push_back(fd);
    }
  }
  closedir(dir);
  return found;
}

TEST_F(SerlinkPtyTest, OpenMakesTheFixedLineSettings) {
  // Start from settings the library must undo.
  termios dirty = Settings();
  dirty.c_cflag = (dirty.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  dirty.c_iflag |= IXON | IXOFF | INPCK | ICRNL | ISTRIP;
  dirty.c_oflag |= OPOST;
  dirty.c_lflag |= ICANON | ECHO | ISIG;
  dirty.c_cc[VMIN] = 1;
  dirty.c_cc[VTIME] = 5;
  ASSERT_EQ(0, tcsetattr(line_->slave_fd(), TCSANOW, &dirty));

  ASSERT_EQ(1, Open(2400));
  termios made = Settings();
  EXPECT_EQ(
      tcflag_t{CS8 | CLOCAL | CREAD},
      made.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD));
  EXPECT_EQ(0u, made.c_iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP));
  EXPECT_EQ(0u, made.c_oflag & OPOST);
  EXPECT_EQ(0u, made.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(0, made.c_cc[VMIN]);
  EXPECT_EQ(0, made.c_cc[VTIME]);
  EXPECT_EQ(speed_t{B2400}, cfgetospeed(&made));
  EXPECT_EQ(speed_t{B2400}, cfgetispeed(&made));
}

TEST_F(SerlinkPtyTest, SpeedsAreTheLowSixteenBits) {
  // 65536 + 1000: 1000 bits per second has no termios speed, so no open.
  EXPECT_EQ(0, Open(Wide(1000)));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  ASSERT_EQ(1, Open(Wide(9600)));
  EXPECT_EQ(speed_t{B9600}, Speed());
  Kbapi_COMSetBoudrate(Wide(4800), 0);
  EXPECT_EQ(speed_t{B4800}, Speed());
  // A speed without a termios value leaves the one the port has.
  Kbapi_COMSetBoudrate(1000, 0);
  EXPECT_EQ(speed_t{B4800}, Speed());
}

TEST_F(SerlinkPtyTest, OneDescriptorPerSlotNeverInherited) {
  for (int i = 0; i < 5; ++i) ASSERT_EQ(1, Open(9600));
  std::vector<int> held = LibraryDescriptors(*line_);
  ASSERT_EQ(1u, held.size());
  // Scripts the service starts must not get the port.
  EXPECT_NE(0, fcntl(held[0], F_GETFD) & FD_CLOEXEC);
  EXPECT_EQ(0, Kbapi_COMPortOpen("/dev/zep-no-such-serial-device", 9600, 0));
  EXPECT_TRUE(LibraryDescriptors(*line_).empty());
}

TEST_F(SerlinkPtyTest, IntervalZeroExchangeNeverOverfillsTheBuffer) {
  ASSERT_EQ(1, Open(9600));
  // Bytes arrive at every moment, so right after the request the queue
  // often holds more than the four asked for; four at most are taken.
  line_->SetNoise(true);
  // Whether bytes land between the flush and the count is a matter of
  // scheduling, so the test tries for a while (slow under sanitizers).
  int exchanges = 0;
  const auto give_up =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (exchanges < 20 && std::chrono::steady_clock::now() < give_up) {
    uint8_t buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    uint16_t count = 4;
    const uint8_t request[] = "N\r";
    if (Kbapi_COMMessageProcs(request, 2, buffer, &count, 0, 20, 2, 0) == 1) {
      ++exchanges;
      EXPECT_LE(count, 4);
      EXPECT_EQ(std::string(8, '#'),
                std::string(reinterpret_cast<char *>(buffer) + 4, 8));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  line_->SetNoise(false);
  EXPECT_GT(exchanges, 0);
}

}  // namespace
}  // namespace test
}  // namespace zep
