#include "events/event_scripts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/scratch_files.h"
#include "process.h"
#include "test_context.h"

namespace zep {
namespace {

// Keeps the waits of the settings unset for each test and restores them.
class EventScriptsTest : public ::testing::Test {
 protected:
  EventScriptsTest()
      : settings_({"ZEP_PF_WAIT", "ZEP_LB_WAIT", "ZEP_AWAY_MODE"}),
        records_(kWithLauncher | kWithMessages) {}

  void SetItems() {
    records_.SetItem(7, "85");
    records_.SetItem(8, "230");
    records_.SetItem(10, "0.9");
    records_.SetItem(11, "31.5");
  }

  EnvironmentGuard settings_;
  TestContext records_;
};

TEST_F(EventScriptsTest, PowerFailWithoutValuesPassesNothingNotEvenTheWait) {
  RunPowerFail(records_.context);
  EXPECT_EQ(records_.launcher.Runs(),
            std::vector<std::string>{"powerfail.bat"});
}

TEST_F(EventScriptsTest, WaitsTakeTheirDefaultsOrTheSettings) {
  SetItems();
  RunPowerFail(records_.context);
  RunEmergency(records_.context);
  PutEnvironmentText("ZEP_PF_WAIT=120");
  PutEnvironmentText("ZEP_LB_WAIT=45");
  RunPowerFail(records_.context);
  RunEmergency(records_.context);
  std::vector<std::string> expected = {
      "powerfail.bat|230|0.9|31.5|85|300", "emergency.bat|230|0.9|31.5|85|30",
      "powerfail.bat|230|0.9|31.5|85|120", "emergency.bat|230|0.9|31.5|85|45"};
  EXPECT_EQ(records_.launcher.Runs(), expected);
}

TEST_F(EventScriptsTest, AMissingItemCutsTheListThere) {
  records_.SetItem(8, "230");
  records_.SetItem(10, "");  // set, but empty
  records_.SetItem(11, "31.5");
  RunEmergency(records_.context);
  RunTemperature(records_.context, true);
  std::vector<std::string> expected = {"emergency.bat|230",
                                       "temperature.bat|1|31.5|230"};
  EXPECT_EQ(records_.launcher.Runs(), expected);
}

TEST_F(EventScriptsTest, TemperatureAndOverloadOrderTheirValues) {
  SetItems();
  RunTemperature(records_.context, false);
  RunOverload(records_.context, true);
  RunOverload(records_.context, false);
  RunPowerRecovery(records_.context);
  std::vector<std::string> expected = {
      "temperature.bat|0|31.5|230|0.9", "overload.bat|1|230|0.9|31.5",
      "overload.bat|0|230|0.9|31.5", "powerrecovery.bat"};
  EXPECT_EQ(records_.launcher.Runs(), expected);
}

std::vector<uint32_t>* g_execution_states = nullptr;
void RecordExecutionState(uint32_t flags) {
  g_execution_states->push_back(flags);
}

TEST_F(EventScriptsTest, AwayModeOnlyForTheValueOne) {
  std::vector<uint32_t> states;
  g_execution_states = &states;
  records_.context.set_execution_state = &RecordExecutionState;
  // Unset, 0, 2 and 11 leave the execution state alone.
  for (const char* value : {"", "0", "2", "11"}) {
    PutEnvironmentText((std::string("ZEP_AWAY_MODE=") + value).c_str());
    RunPowerFail(records_.context);
    RunEmergency(records_.context);
    RunPowerRecovery(records_.context);
    EXPECT_TRUE(states.empty()) << value;
  }
  PutEnvironmentText("ZEP_AWAY_MODE=1");
  RunPowerFail(records_.context);
  RunEmergency(records_.context);
  RunPowerRecovery(records_.context);
  // Continuous + system required + away mode required, twice; then
  // continuous alone, which ends the request.
  EXPECT_EQ(states,
            (std::vector<uint32_t>{0x80000041u, 0x80000041u, 0x80000000u}));
  g_execution_states = nullptr;
}

}  // namespace
}  // namespace zep
