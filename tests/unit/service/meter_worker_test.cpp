// The meter thread on value datagrams written out byte by byte: 0x8F, the
// count, two unused bytes, then per value a tag and a packed decimal (scale
// nibble and five BCD digits). Worked by hand:
//   31.5  -> 73 15 00 (scale 7: divide by 1000, digits 31500)
//   230   -> 62 30 00 (scale 6: divide by 100, digits 23000)
//   1500  -> 51 50 00 (scale 5: divide by 10, digits 15000)
//   1050  -> 51 05 00
//   0.9   -> 70 09 00 (digits 00900)
//   35    -> 73 50 00
//   12.5  -> 71 25 00
//   99999000  -> 39 99 99 (multiply by 1000, digits 99999)
//   -99999000 -> B9 99 99 (the same with the sign bit)
// Tags: 88 = 0x58, 169 = 0xA9, 172 = 0xAC, 176 = 0xB0, 224 = 0xE0,
// 226 = 0xE2, 232 = 0xE8, 234 = 0xEA, 235 = 0xEB, 64 = 0x40.
#include "events/meter_worker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/scratch_files.h"
#include "host_recorders.h"
#include "test_context.h"
#include "udp.h"
#include "worker_on_thread.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

// 1700000000 is 20 s into its minute; the next minute starts at ...040.
constexpr int64_t kStart = 1700000000;

const Bytes kTemperature = {0x8F, 0x01, 0x00, 0x00, 0x58, 0x73, 0x15, 0x00};

class MeterWorkerTest : public ::testing::Test {
 protected:
  MeterWorkerTest()
      : settings_({"ZEP_METER_CYCLE"}),
        records_(kWithLauncher | kWithMessages | kWithMeterValues | kWithClock,
                 kStart) {
    records_.context.write_console = &ConsoleRecorder::Write;
    StartMeterCycle(&cycle_, &records_.meter_values, kStart);
  }

  int Store(const Bytes& bytes) {
    return StoreMeterValues(records_.context, &cycle_, bytes.data(),
                            static_cast<int>(bytes.size()));
  }
  // Feeds `bytes` every `step` seconds from `from` to `to` (inclusive) and
  // returns the offsets from kStart at which meter.bat ran.
  std::vector<int64_t> Feed(const Bytes& bytes, int64_t from, int64_t to,
                            int step) {
    std::vector<int64_t> runs;
    for (int64_t t = from; t <= to; t += step) {
      Store(bytes);
      if (RunMeterIfDue(records_.context, &cycle_, t))
        runs.push_back(t - kStart);
    }
    return runs;
  }

  EnvironmentGuard settings_;
  ConsoleRecorder console_;
  TestContext records_;
  MeterCycle cycle_;
};

TEST_F(MeterWorkerTest, ValuesAreStoredPrintedAndTurnedIntoItems) {
  EXPECT_EQ(3, Store({0x8F, 0x03, 0x00, 0x00, 0xAC, 0x73, 0x50, 0x00, 0xE0,
                      0x62, 0x30, 0x00, 0xA9, 0x70, 0x09, 0x00}));
  EXPECT_EQ("[172:35.0] [224:230.0] [169:0.9] \r\n", console_.Text());
  EXPECT_EQ("35", records_.Item(8));
  EXPECT_EQ("230", records_.Item(6));
  EXPECT_EQ("0.9", records_.Item(10));
  EXPECT_EQ("<unset>", records_.Item(11));
  EXPECT_EQ(1, records_.meter_values.tags[172].present.load());
  EXPECT_FLOAT_EQ(230.0f, records_.meter_values.tags[224].value.load());
  EXPECT_EQ(0, records_.meter_values.tags[88].present.load());

  Store({0x8F, 0x04, 0x00, 0x00, 0x58, 0x73, 0x15, 0x00, 0xEA, 0x51,
         0x50, 0x00, 0xEB, 0x51, 0x05, 0x00, 0xC8, 0x71, 0x25, 0x00});
  EXPECT_EQ("31.5", records_.Item(11));
  EXPECT_EQ("1500", records_.Item(4));
  EXPECT_EQ("1050", records_.Item(5));
  EXPECT_EQ("12.5", records_.Item(9));  // tag 200 = 0xC8
}

TEST_F(MeterWorkerTest, OtherDatagramsAreNotStoredNorCounted) {
  EXPECT_EQ(0, Store({0x85, 0x01, 0x00, 0x00, 0x58, 0x73, 0x15, 0x00}));
  EXPECT_EQ(0, Store({0x8F, 0x00, 0x00, 0x00, 0x58, 0x73, 0x15, 0x00}));
  // The count says two; one value and two bytes of the next arrived.
  EXPECT_EQ(
      1, Store({0x8F, 0x02, 0x00, 0x00, 0xAC, 0x73, 0x50, 0x00, 0x58, 0x73}));
  EXPECT_EQ(0, records_.meter_values.tags[88].present.load());
  EXPECT_FALSE(cycle_.metering);
  EXPECT_EQ(1, cycle_.datagrams);
  EXPECT_EQ("[172:35.0] \r\n", console_.Text());
}

TEST_F(MeterWorkerTest, NoMeterRunBeforeTagEightyEight) {
  const Bytes load = {0x8F, 0x01, 0x00, 0x00, 0xAC, 0x73, 0x50, 0x00};
  EXPECT_TRUE(Feed(load, kStart, kStart + 300, 5).empty());
  EXPECT_TRUE(records_.launcher.Runs().empty());
  // The first temperature arms it; the first run was due since 040, so it
  // comes at once, and the next ones at the minutes after it.
  EXPECT_EQ(Feed(kTemperature, kStart + 305, kStart + 400, 5),
            (std::vector<int64_t>{305, 340, 400}));
}

TEST_F(MeterWorkerTest, OneRunPerMinuteAtTheFirstDatagramOfTheMinute) {
  // Due at ...040, ...100 and ...160. Every 5 s the runs fall on those;
  // every 7 s on the first datagram at or past each, without shifting the
  // minutes after.
  EXPECT_EQ(Feed(kTemperature, kStart, kStart + 175, 5),
            (std::vector<int64_t>{40, 100, 160}));
  StartMeterCycle(&cycle_, &records_.meter_values, kStart);
  EXPECT_EQ(Feed(kTemperature, kStart, kStart + 175, 7),
            (std::vector<int64_t>{42, 105, 161}));
}

TEST_F(MeterWorkerTest, CycleSettingIsReadAnewAtEveryRun) {
  PutEnvironmentText("ZEP_METER_CYCLE=300");
  EXPECT_EQ(Feed(kTemperature, kStart, kStart + 50, 10),
            (std::vector<int64_t>{40}));
  // Read at the run of 340: the next one comes 120 s after its minute.
  PutEnvironmentText("ZEP_METER_CYCLE=120");
  EXPECT_EQ(Feed(kTemperature, kStart + 60, kStart + 470, 10),
            (std::vector<int64_t>{340, 460}));
  // 0 (and less) means a minute.
  PutEnvironmentText("ZEP_METER_CYCLE=0");
  EXPECT_EQ(Feed(kTemperature, kStart + 480, kStart + 650, 10),
            (std::vector<int64_t>{580, 640}));
}

TEST_F(MeterWorkerTest, CycleShorterThanAMinuteRunsOncePerCycle) {
  // Minutes start at 040 and 100. With 20 s the runs come at 040, 060, 080,
  // 100, 120: one per cycle, not one per datagram after the first.
  PutEnvironmentText("ZEP_METER_CYCLE=20");
  EXPECT_EQ(Feed(kTemperature, kStart + 40, kStart + 130, 5),
            (std::vector<int64_t>{40, 60, 80, 100, 120}));
}

TEST_F(MeterWorkerTest, DueRunWaitsForADatagramCountedSinceTheLast) {
  Feed(kTemperature, kStart, kStart + 40, 40);
  ASSERT_EQ(1u, records_.launcher.Runs().size());
  // Due again at 100, but nothing counted since: another type arrives.
  const Bytes foreign = {0x85, 0x01, 0x2D, 0x28};
  EXPECT_TRUE(Feed(foreign, kStart + 100, kStart + 130, 10).empty());
  EXPECT_EQ(Feed(kTemperature, kStart + 140, kStart + 140, 10),
            (std::vector<int64_t>{140}));
}

TEST_F(MeterWorkerTest, ArgumentsFallBackAsTheirRowsSay) {
  // Only the temperature: the ratings read the second tag's stored value,
  // 0; the measurements without a value are -1.
  Store(kTemperature);
  EXPECT_EQ(MeterArguments(records_.meter_values),
            (Strings{"0", "0", "0", "-1.0", "-1.0", "-1.0", "-1.0", "0.0", "-1",
                     "31.5", "-1.0"}));
  // 234, 235 and 232 in place of 226, 227 and 224; 169 in place of 201;
  // 172 and 64 present.
  Store({0x8F, 0x06, 0x00, 0x00, 0xEA, 0x51, 0x50, 0x00, 0xEB, 0x51,
         0x05, 0x00, 0xE8, 0x62, 0x30, 0x00, 0xA9, 0x70, 0x09, 0x00,
         0xAC, 0x73, 0x50, 0x00, 0x40, 0x71, 0x25, 0x00});
  EXPECT_EQ(MeterArguments(records_.meter_values),
            (Strings{"1500", "1050", "230", "-1.0", "-1.0", "-1.0", "-1.0",
                     "0.9", "35", "31.5", "12.5"}));
}

TEST_F(MeterWorkerTest, ItemConsoleAndArgumentAgreeOnAHalfwayValue) {
  // 0.15 (70 01 50) for 169: the item, the console and argument 8 all
  // round the one stored value, which lies just above 0.15, to "0.2".
  Store({0x8F, 0x01, 0x00, 0x00, 0xA9, 0x70, 0x01, 0x50});
  EXPECT_EQ("0.2", records_.Item(10));
  EXPECT_EQ("[169:0.2] \r\n", console_.Text());
  EXPECT_EQ("0.2", MeterArguments(records_.meter_values)[7]);
}

TEST_F(MeterWorkerTest, LongValuesAreCutToNineCharacters) {
  // 176 (argument 7, "%.1f") and 226 (argument 1, "%.0f").
  Store(
      {0x8F, 0x02, 0x00, 0x00, 0xB0, 0x39, 0x99, 0x99, 0xE2, 0x39, 0x99, 0x99});
  Strings args = MeterArguments(records_.meter_values);
  EXPECT_EQ("99999000.", args[6]);  // "99999000.0" cut
  EXPECT_EQ("99999000", args[0]);
  Store({0x8F, 0x01, 0x00, 0x00, 0xB0, 0xB9, 0x99, 0x99});
  EXPECT_EQ("-99999000",
            MeterArguments(records_.meter_values)[6]);  // "-99999000.0" cut
}

// The thread on a loopback endpoint, the clock moved by the test.
TEST_F(MeterWorkerTest, ThreadClearsTheTableAndRunsOnceTheMinuteHasCome) {
  EventLog log;
  RecordingLauncher launcher(&log);
  records_.context.launcher = &launcher;
  records_.meter_values.tags[64].present.store(
      1);  // left from before: cleared at start
  records_.meter_values.tags[64].value.store(7.0f);
  WorkerOnThread worker(47356, true, &records_.context);
  ASSERT_TRUE(worker.opened());
  const int port = worker.port();
  worker.Start(&MeterWorker);

  SendToLocalPort(port, kTemperature.data(),
                  static_cast<int>(kTemperature.size()));
  ASSERT_TRUE(console_.WaitFor("[ 88:31.5] \r\n"));
  records_.clock.SetSeconds(kStart + 40);
  SendToLocalPort(port, kTemperature.data(),
                  static_cast<int>(kTemperature.size()));
  EXPECT_TRUE(
      log.WaitFor("meter.bat|0|0|0|-1.0|-1.0|-1.0|-1.0|0.0|-1|31.5|-1.0"));

  worker.Stop();
  EXPECT_EQ(1u, log.Entries().size());
}

}  // namespace
}  // namespace zep
