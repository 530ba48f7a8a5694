// Scenario files: what they may hold, how mistakes are reported, and when
// each step runs (on a hand-driven clock).
#include "scenario.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fake_clock.h"

namespace zep {
namespace {

TEST(ScenarioParseTest, StepsWithCommentsDecimalsAndBlankLines) {
  const std::string text =
      "# a power cut that drains the battery\n"
      "\n"
      "0 normal\n"
      "  10   mains-failure   # the mains goes\n"
      "40.5 battery-low\n"
      "40.5 reject-controls\n"
      "60 normal\n"
      "61 accept-controls\n"
      "90 quit\n";
  std::vector<ScenarioStep> steps;
  std::string error;
  ASSERT_TRUE(ParseScenario(text, "cut.txt", &steps, &error)) << error;
  // Each step as "line:milliseconds action".
  std::string got;
  for (const ScenarioStep& step : steps) {
    got += std::to_string(step.line) + ":" + std::to_string(step.at_ms) + " " +
           step.action + "\n";
  }
  EXPECT_EQ(
      "3:0 normal\n4:10000 mains-failure\n5:40500 battery-low\n"
      "6:40500 reject-controls\n7:60000 normal\n8:61000 accept-controls\n"
      "9:90000 quit\n",
      got);
}

TEST(ScenarioParseTest, MistakesNameTheFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"0 normal\nten mains-failure\n",
       "s.txt:2: expected a time in seconds, got \"ten\""},
      {"-1 normal\n", "s.txt:1: expected a time in seconds, got \"-1\""},
      {"5s normal\n", "s.txt:1: expected a time in seconds, got \"5s\""},
      {"0 blackout\n", "s.txt:1: unknown action \"blackout\""},
      {"0 Normal\n", "s.txt:1: unknown action \"Normal\""},
      {"# fine\n0\n", "s.txt:2: a step needs an action after its time"},
      {"0 normal now\n", "s.txt:1: unexpected \"now\" after the action"},
      {"10 normal\n20 overload\n5 normal\n",
       "s.txt:3: time 5 is earlier than the step before it"},
  };
  for (const Case& c : cases) {
    std::vector<ScenarioStep> steps;
    std::string error;
    EXPECT_FALSE(ParseScenario(c.text, "s.txt", &steps, &error)) << c.text;
    EXPECT_EQ(c.error, error);
  }
}

TEST(ScenarioParseTest, AMissingFileIsReported) {
  std::vector<ScenarioStep> steps;
  std::string error;
  EXPECT_FALSE(LoadScenario("/nonexistent/cut.txt", &steps, &error));
  EXPECT_EQ("/nonexistent/cut.txt: cannot be read: No such file or directory",
            error);
}

TEST(ScenarioPlayerTest, StepsRunInOrderWhenTheirTimeComes) {
  std::vector<ScenarioStep> steps;
  std::string error;
  ASSERT_TRUE(
      ParseScenario("0 normal\n10 mains-failure\n40 battery-low\n"
                    "60 normal\n",
                    "s", &steps, &error));
  FakeClock clock;
  clock.SetMilliseconds(5000);  // the scenario starts at 5 s on this clock
  std::vector<std::string> applied;
  ScenarioPlayer player(steps, clock, [&](const ScenarioStep& step) {
    applied.push_back(step.action);
  });
  player.Begin();
  EXPECT_EQ(1, player.RunDue());  // the step at 0 runs at once
  clock.SetMilliseconds(14999);
  EXPECT_EQ(0, player.RunDue());
  clock.SetMilliseconds(15000);
  EXPECT_EQ(1, player.RunDue());
  EXPECT_EQ(0, player.RunDue());  // a step runs only once
  EXPECT_FALSE(player.Finished());
  clock.SetMilliseconds(100000);  // late: both remaining steps, in file order
  EXPECT_EQ(2, player.RunDue());
  EXPECT_TRUE(player.Finished());
  const std::vector<std::string> expected = {"normal", "mains-failure",
                                             "battery-low", "normal"};
  EXPECT_EQ(expected, applied);
}

TEST(ScenarioPlayerTest, BackgroundThreadPlaysEveryStep) {
  std::vector<ScenarioStep> steps;
  std::string error;
  ASSERT_TRUE(ParseScenario("0 normal\n0.01 overload\n", "s", &steps, &error));
  FakeClock clock;
  std::vector<std::string> applied;
  ScenarioPlayer player(steps, clock, [&](const ScenarioStep& step) {
    applied.push_back(step.action);
  });
  player.Start();
  clock.SetMilliseconds(10);  // only the thread reads the clock after this
  for (int i = 0; i < 500 && !player.Finished(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  player.Stop();
  ASSERT_TRUE(player.Finished());
  const std::vector<std::string> expected = {"normal", "overload"};
  EXPECT_EQ(expected, applied);
}

}  // namespace
}  // namespace zep
