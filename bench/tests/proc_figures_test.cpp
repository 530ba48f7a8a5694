// The benchmark's parsers of /proc texts, on samples written out by hand in
// the kernel's layout.
#include "proc_figures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zep {
namespace bench {
namespace {

TEST(ParseProcessTimes, CountsFieldsFromTheLastParenthesis) {
  // A command name with blanks and parentheses of its own; tpgid -1.
  // utime 1234, stime 567, cutime 89, cstime 11 (fields 14 to 17).
  const std::string stat =
      "4242 (zeps (x) y) S 100 100 100 0 -1 4194304 50 0 0 0 "
      "1234 567 89 11 20 0 9 0 547417 3133440 414\n";
  ProcessTimes times;
  ASSERT_TRUE(ParseProcessTimes(stat, &times));
  EXPECT_EQ(1234, times.user_ticks);
  EXPECT_EQ(567, times.system_ticks);
  EXPECT_EQ(100, times.children_ticks);

  // Cut before cstime; no name at all; a field that is not a number.
  EXPECT_FALSE(ParseProcessTimes(
      "4242 (zeps) S 100 100 100 0 -1 4194304 50 0 0 0 1234 567 89", &times));
  EXPECT_FALSE(ParseProcessTimes("4242 zeps S 1 2 3", &times));
  EXPECT_FALSE(ParseProcessTimes(
      "4242 (zeps) S 100 100 100 0 -1 4194304 50 0 0 0 12x4 567 89 11",
      &times));
}

TEST(ParseMemoryFigures, ReadsBothLinesOrNothing) {
  const std::string status =
      "Name:\tzeps\nVmPeak:\t  90000 kB\nVmHWM:\t    3700 kB\n"
      "VmRSS:\t    3652 kB\nvoluntary_ctxt_switches:\t17\n"
      "nonvoluntary_ctxt_switches:\t4\n";
  MemoryFigures memory;
  ASSERT_TRUE(ParseMemoryFigures(status, &memory));
  EXPECT_EQ(3652, memory.vm_rss_kib);
  EXPECT_EQ(3700, memory.vm_hwm_kib);

  int64_t switches = 0;
  ASSERT_TRUE(ParseVoluntarySwitches(status, &switches));
  EXPECT_EQ(17, switches);  // not the nonvoluntary line

  // A zombie has no memory lines; the figures stay as they were.
  MemoryFigures untouched;
  EXPECT_FALSE(
      ParseMemoryFigures("Name:\tzeps\nState:\tZ (zombie)\n", &untouched));
  EXPECT_EQ(-1, untouched.vm_rss_kib);
  EXPECT_FALSE(ParseVoluntarySwitches("Name:\tzeps\n", &switches));
}

TEST(ParseRunNanoseconds, TakesTheFirstField) {
  int64_t run_ns = 0;
  ASSERT_TRUE(ParseRunNanoseconds("52384086 389726946 2570\n", &run_ns));
  EXPECT_EQ(52384086, run_ns);
  EXPECT_FALSE(ParseRunNanoseconds("", &run_ns));
}

TEST(BoundPortsIn, HexPortsInRangeOnce) {
  // Worked by hand: 0xEA00 = 59904, so 0xEA96 = 60054, 0xEA9B = 60059,
  // and 0xEA95 = 60053 lies outside. 60054 is bound twice (any address
  // and loopback) and listed once.
  const std::string udp =
      "   sl  local_address rem_address   st tx_queue rx_queue tr tm->when\n"
      " 9274: 0100007F:EA9B 00000000:0000 07 00000000:00000000 00:0000\n"
      " 9275: 0100007F:EA95 00000000:0000 07 00000000:00000000 00:0000\n"
      " 9276: 00000000:EA96 00000000:0000 07 00000000:00000000 00:0000\n"
      " 9277: 0100007F:EA96 00000000:0000 07 00000000:00000000 00:0000\n";
  EXPECT_EQ((std::vector<int>{60054, 60059}), BoundPortsIn(udp, 60054, 60059));

  const std::string udp6 =
      "  sl  local_address                         remote_address\n"
      "  0: 00000000000000000000000001000000:EA98 "
      "00000000000000000000000000000000:0000 07\n";
  EXPECT_EQ((std::vector<int>{60056}), BoundPortsIn(udp6, 60054, 60059));
  EXPECT_TRUE(BoundPortsIn("", 60054, 60059).empty());
}

}  // namespace
}  // namespace bench
}  // namespace zep
