#include "device_path.h"

#include <gtest/gtest.h>

namespace zep {
namespace serial {
namespace {

TEST(PosixDevicePathTest, ComNamesBecomeTtySNumberedFromZero) {
  EXPECT_EQ("/dev/ttyS0", PosixDevicePath("\\\\.\\COM1"));
  EXPECT_EQ("/dev/ttyS0", PosixDevicePath("COM1"));
  EXPECT_EQ("/dev/ttyS2", PosixDevicePath("\\\\.\\COM3"));
  EXPECT_EQ("/dev/ttyS11", PosixDevicePath("com12"));
  EXPECT_EQ("/dev/ttyS255", PosixDevicePath("\\\\.\\Com256"));
  EXPECT_EQ("/dev/ttyS0", PosixDevicePath("COM001"));
  EXPECT_EQ("/dev/ttyS999998", PosixDevicePath("COM999999"));
}

TEST(PosixDevicePathTest, OtherNamesStandAsTheyAre) {
  for (const char* name :
       {"/dev/ttyUSB0", "/dev/pts/3", "", "COM", "COM0", "\\\\.\\COM0", "COM1x",
        "COM-1", "COM 1", "COM1234567", "\\\\.\\foo", "\\\\.\\", "xCOM1",
        "CON1", "COM1:"}) {
    EXPECT_EQ(name, PosixDevicePath(name)) << name;
  }
}

}  // namespace
}  // namespace serial
}  // namespace zep
