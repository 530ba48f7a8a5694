#include "events/event_scripts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_recorders.h"
#include "message_files.h"
#include "process.h"

namespace zep {
namespace {

// Keeps the waits of the settings unset for each test and restores them.
class EventScriptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* key : kKeys) {
      std::string value;
      saved_.push_back(GetEnvironmentValue(key, &value) ? value
                                                        : std::string("\x01"));
      PutEnvironmentText((std::string(key) + "=").c_str());
    }
    context_.launcher = &launcher_;
    context_.messages = &tables_;
  }
  void TearDown() override {
    for (size_t i = 0; i < kKeys.size(); ++i) {
      if (saved_[i] != "\x01") {
        PutEnvironmentText((std::string(kKeys[i]) + "=" + saved_[i]).c_str());
      }
    }
  }
  void SetItems() {
    SetInfoString(&tables_.info_strings, 7, "85");
    SetInfoString(&tables_.info_strings, 8, "230");
    SetInfoString(&tables_.info_strings, 10, "0.9");
    SetInfoString(&tables_.info_strings, 11, "31.5");
  }

  const std::vector<const char*> kKeys = {"ZEP_PF_WAIT", "ZEP_LB_WAIT",
                                          "ZEP_AWAY_MODE"};
  std::vector<std::string> saved_;
  MessageTables tables_;
  RecordingLauncher launcher_;
  ServiceContext context_;
};

TEST_F(EventScriptsTest, PowerFailWithoutValuesPassesNothingNotEvenTheWait) {
  RunPowerFail(context_);
  EXPECT_EQ(launcher_.Runs(), std::vector<std::string>{"powerfail.bat"});
}

TEST_F(EventScriptsTest, WaitsTakeTheirDefaultsOrTheSettings) {
  SetItems();
  RunPowerFail(context_);
  RunEmergency(context_);
  PutEnvironmentText("ZEP_PF_WAIT=120");
  PutEnvironmentText("ZEP_LB_WAIT=45");
  RunPowerFail(context_);
  RunEmergency(context_);
  std::vector<std::string> expected = {
      "powerfail.bat|230|0.9|31.5|85|300", "emergency.bat|230|0.9|31.5|85|30",
      "powerfail.bat|230|0.9|31.5|85|120", "emergency.bat|230|0.9|31.5|85|45"};
  EXPECT_EQ(launcher_.Runs(), expected);
}

TEST_F(EventScriptsTest, AMissingItemCutsTheListThere) {
  SetInfoString(&tables_.info_strings, 8, "230");
  SetInfoString(&tables_.info_strings, 10, "");  // set, but empty
  SetInfoString(&tables_.info_strings, 11, "31.5");
  RunEmergency(context_);
  RunTemperature(context_, true);
  std::vector<std::string> expected = {"emergency.bat|230",
                                       "temperature.bat|1|31.5|230"};
  EXPECT_EQ(launcher_.Runs(), expected);
}

TEST_F(EventScriptsTest, TemperatureAndOverloadOrderTheirValues) {
  SetItems();
  RunTemperature(context_, false);
  RunOverload(context_, true);
  RunOverload(context_, false);
  RunPowerRecovery(context_);
  std::vector<std::string> expected = {
      "temperature.bat|0|31.5|230|0.9", "overload.bat|1|230|0.9|31.5",
      "overload.bat|0|230|0.9|31.5", "powerrecovery.bat"};
  EXPECT_EQ(launcher_.Runs(), expected);
}

std::vector<uint32_t>* g_execution_states = nullptr;
void RecordExecutionState(uint32_t flags) {
  g_execution_states->push_back(flags);
}

TEST_F(EventScriptsTest, AwayModeOnlyForTheValueOne) {
  std::vector<uint32_t> states;
  g_execution_states = &states;
  context_.set_execution_state = &RecordExecutionState;
  // Unset, 0, 2 and 11 leave the execution state alone.
  for (const char* value : {"", "0", "2", "11"}) {
    PutEnvironmentText((std::string("ZEP_AWAY_MODE=") + value).c_str());
    RunPowerFail(context_);
    RunEmergency(context_);
    RunPowerRecovery(context_);
    EXPECT_TRUE(states.empty()) << value;
  }
  PutEnvironmentText("ZEP_AWAY_MODE=1");
  RunPowerFail(context_);
  RunEmergency(context_);
  RunPowerRecovery(context_);
  // Continuous + system required + away mode required, twice; then
  // continuous alone, which ends the request.
  EXPECT_EQ(states,
            (std::vector<uint32_t>{0x80000041u, 0x80000041u, 0x80000000u}));
  g_execution_states = nullptr;
}

}  // namespace
}  // namespace zep
