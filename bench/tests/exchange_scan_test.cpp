// The benchmark's reading of the simulator's exchange log: which lines are
// requests, what counts as a whole polling pass, and the gap figures
// against the prescribed waits. Logs are written out by hand here.
#include "exchange_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_follower.h"

namespace zep {
namespace bench {
namespace {

// Feeds "hh:mm:ss.mmm rx \"...\"" lines built from (ms of day, text).
PassCounter Feed(const std::vector<std::pair<int64_t, std::string>>& items) {
  PassCounter counter;
  for (const auto& item : items) {
    LoggedRequest request;
    request.ms_of_day = item.first;
    request.text = item.second;
    counter.Add(request);
  }
  return counter;
}

TEST(ParseRequestLine, TakesTextRequestsOnly) {
  LoggedRequest request;
  ASSERT_TRUE(ParseRequestLine("21:04:45.023 rx \"&K\\r\"", &request));
  // 21 h 4 min 45.023 s.
  EXPECT_EQ(75885023, request.ms_of_day);
  EXPECT_EQ("&K\\r", request.text);

  // A quote inside the request is escaped and stays part of it.
  ASSERT_TRUE(ParseRequestLine("00:00:00.000 rx \"a\\\"b\\r\"", &request));
  EXPECT_EQ(0, request.ms_of_day);
  EXPECT_EQ("a\\\"b\\r", request.text);

  const char* const others[] = {
      "21:04:45.024 tx \"NG\\r\"",            // an answer
      "21:05:02.010 rx AB 01 33 21",          // a binary frame
      "21:05:10.000 -- state mains-failure",  // a note
      "21:05:10.000 rx \"&S1\\r",             // cut short
      "24:00:00.000 rx \"&S1\\r\"",           // no such hour
      "21:60:00.000 rx \"&S1\\r\"",           // no such minute
      "21:04:45,023 rx \"&K\\r\"",            // wrong separator
      "",
  };
  for (const char* line : others) {
    EXPECT_FALSE(ParseRequestLine(line, &request)) << line;
  }
}

TEST(PassCounter, CountsFourCommandsBackToBack) {
  // Identification ends with "&S1", "&N"; then two passes and a third
  // that is cut off by a new identification.
  PassCounter counter = Feed({{1000, "&K\\r"},
                              {1200, "&S1\\r"},
                              {1400, "&N\\r"},
                              {1600, "&S1\\r"},
                              {1800, "QQ\\r"},
                              {2000, "&R\\r"},
                              {2200, "Q1\\r"},
                              {2450, "&S1\\r"},
                              {2650, "QQ\\r"},
                              {2900, "&R\\r"},
                              {3100, "Q1\\r"},
                              {3300, "&S1\\r"},
                              {3500, "QQ\\r"},
                              {3700, "&K\\r"}});
  EXPECT_EQ(2, counter.passes());
  EXPECT_EQ((std::vector<int64_t>{2200, 3100}), counter.pass_end_ms());
  // Gaps between polling commands only: none around "&K" and "&N".
  EXPECT_EQ((std::vector<int64_t>{200, 200, 200, 250, 200, 250, 200, 200, 200}),
            counter.command_gaps_ms());
}

TEST(PassCounter, RetriedCommandKeepsThePassAndOthersBreakIt) {
  PassCounter counter = Feed({{0, "&S1\\r"},
                              {1, "QQ\\r"},
                              {2, "QQ\\r"},  // sent again: no answer
                              {3, "QQ\\r"},
                              {4, "&R\\r"},
                              {5, "Q1\\r"},  // pass 1
                              {6, "&S1\\r"},
                              {7, "S02R00001\\r"},  // a relayed command
                              {8, "QQ\\r"},
                              {9, "&R\\r"},
                              {10, "Q1\\r"},
                              {11, "&S1\\r"},
                              {12, "&S1\\r"},  // sent again as well
                              {13, "QQ\\r"},
                              {14, "&R\\r"},
                              {15, "Q1\\r"}});  // pass 2
  EXPECT_EQ(2, counter.passes());
  EXPECT_EQ((std::vector<int64_t>{5, 15}), counter.pass_end_ms());
}

TEST(PassCounter, MidnightKeepsTimesGoingForward) {
  // 23:59:59.900 then 00:00:00.150: 250 ms later, not a day earlier.
  PassCounter counter = Feed({{86399900, "&R\\r"}, {150, "Q1\\r"}});
  EXPECT_EQ((std::vector<int64_t>{250}), counter.command_gaps_ms());
}

TEST(SummariseGaps, NearestPrescribedFormGivesTheExcess) {
  PrescribedWaits waits;  // cycle 1: 201 ms short, 251 ms long
  ASSERT_EQ(201, waits.ShortCommandMs());
  ASSERT_EQ(251, waits.LongCommandMs());
  // 203 and 225 are short (+2, +24); 252 and 256 are long (+1, +5).
  const GapFigures figures = SummariseGaps({203, 252, 225, 256}, waits);
  EXPECT_EQ(4, figures.count);
  EXPECT_DOUBLE_EQ(234.0, figures.mean_ms);  // 936 / 4
  EXPECT_EQ(225, figures.median_ms);         // the lower middle
  EXPECT_EQ(252, figures.p90_ms);            // element 2 of 4, sorted
  EXPECT_EQ(256, figures.max_ms);
  EXPECT_DOUBLE_EQ(0.5, figures.long_share);
  EXPECT_DOUBLE_EQ(8.0, figures.mean_excess_ms);  // (2 + 1 + 24 + 5) / 4

  // Half-way (226) counts as long: 25 ms early rather than 25 ms late.
  const GapFigures tie = SummariseGaps({226}, waits);
  EXPECT_DOUBLE_EQ(1.0, tie.long_share);
  EXPECT_DOUBLE_EQ(-25.0, tie.mean_excess_ms);

  waits.cycle_ms = 1000;  // 1200 ms short, 1250 ms long
  const GapFigures slow = SummariseGaps({1199, 1251}, waits);
  EXPECT_DOUBLE_EQ(0.5, slow.long_share);
  EXPECT_DOUBLE_EQ(0.0, slow.mean_excess_ms);  // (-1 + 1) / 2

  const GapFigures none = SummariseGaps({}, waits);
  EXPECT_EQ(0, none.count);
  EXPECT_DOUBLE_EQ(0.0, none.mean_ms);
}

TEST(LogFollower, KeepsALineStillBeingWritten) {
  LogFollower follower("/nonexistent/exchange.log");
  follower.Update();  // no file: nothing happens
  follower.Take("10:00:00.000 rx \"&S1\\r\"\n10:00:00.000 tx \"0002");
  follower.Take("00100101100\\r\"\n10:00:00.201 rx \"Q");
  EXPECT_EQ(0u, follower.counter().command_gaps_ms().size());
  // Only now is the "QQ" line whole.
  follower.Take("Q\\r\"\n");
  EXPECT_EQ((std::vector<int64_t>{201}), follower.counter().command_gaps_ms());
}

}  // namespace
}  // namespace bench
}  // namespace zep
