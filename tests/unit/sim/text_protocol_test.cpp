// The text command language as the monitor meets it through the terminal.
// Expected answers are written out by hand from the answer formats and the
// readings of each state (model T-PWR15J1: 1500 VA, 100 V, load 35 %).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim_line.h"
#include "simulator.h"

namespace zep {
namespace {

using test::SimLine;
using test::WaitFor;

class TextProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
    line_ = std::make_unique<SimLine>(sim_.DevicePath(), 2400);
    ASSERT_TRUE(line_->ok());
  }

  Simulator sim_;  // text protocol, 2400 bps, T-PWR15J1, normal
  std::unique_ptr<SimLine> line_;
};

TEST_F(TextProtocolTest, IdentificationAnswersHaveTheShapesTheMonitorTakes) {
  // "&M": model cut to 9, space, version: 9 + 1 + 5 + CR = 16.
  EXPECT_EQ("T-PWR15J1 01.02\r", line_->Ask("&M\r"));
  // "%M": "%M", model in 15, space, version "1.2", rating record "1500" and
  // voltage class "1": 2 + 15 + 1 + 3 + 5 + CR = 27.
  EXPECT_EQ("%MT-PWR15J1       1.215001\r", line_->Ask("%M\r"));
  EXPECT_EQ("00000000\r", line_->Ask("&N\r"));  // at least 9
  EXPECT_EQ("NG\r", line_->Ask("&K\r"));
  EXPECT_EQ("OK\r", line_->Ask("%ZQ\r"));
  EXPECT_EQ("0000\r", line_->Ask("%N\r"));
  EXPECT_EQ("00\r", line_->Ask("M\r"));
}

TEST_F(TextProtocolTest, PollingAnswersInTheNormalState) {
  // Alarm 00, state 02 (on line), setting 001, "0", "0", limits 10 and 110,
  // "0": 15 characters and CR.
  EXPECT_EQ("000200100101100\r", line_->Ask("&S1\r"));

  // Input 101.0 V and output 100.0 V in tenths, FFFFFFFF, load 035, output
  // and input frequency 500, battery 0275, temperature 250, 525 VA -> 005
  // hundreds, status 0x06.
  EXPECT_EQ("(1010 1000 FFFFFFFF 035 500 500 0275 250 005 00000110\r",
            line_->Ask("QQ\r"));

  // Temperature 250 twice, 0000, capacity 100 at the 11th character, 99.
  EXPECT_EQ("250250000010099\r", line_->Ask("&R\r"));
  EXPECT_EQ("(101.0 101.0 100.0 035 50.0 27.5 25.0 00000001\r",
            line_->Ask("Q1\r"));
}

TEST_F(TextProtocolTest, MainsFailureSetsStateBitFourAndTheUtilityFailBits) {
  sim_.SetState(SimState::kMainsFailure);
  EXPECT_EQ("000600100101100\r", line_->Ask("&S1\r"));
  EXPECT_EQ("(0000 1000 FFFFFFFF 035 500 000 0245 260 005 10000110\r",
            line_->Ask("QQ\r"));
  EXPECT_EQ("(000.0 101.0 100.0 035 50.0 24.5 26.0 10000001\r",
            line_->Ask("Q1\r"));
  EXPECT_EQ("260260000008099\r", line_->Ask("&R\r"));
}

TEST_F(TextProtocolTest, BatteryLowKeepsTheMainsFailureAndAddsBit0x40) {
  sim_.SetState(SimState::kBatteryLow);
  EXPECT_EQ("004600100101100\r", line_->Ask("&S1\r"));
  EXPECT_EQ("(0000 1000 FFFFFFFF 035 500 000 0215 260 005 11000110\r",
            line_->Ask("QQ\r"));
  EXPECT_EQ("(000.0 101.0 100.0 035 50.0 21.5 26.0 11000001\r",
            line_->Ask("Q1\r"));
  EXPECT_EQ("260260000001099\r", line_->Ask("&R\r"));
}

TEST_F(TextProtocolTest, OverloadAndOverTemperature) {
  sim_.SetState(SimState::kOverload);
  EXPECT_EQ("000A00100101100\r", line_->Ask("&S1\r"));
  // 1500 VA x 115 % = 1725 VA -> 17 hundreds.
  EXPECT_EQ("(1010 1000 FFFFFFFF 115 500 500 0275 250 017 00000110\r",
            line_->Ask("QQ\r"));

  // Too hot: only the temperature fields change (55.5 C, at or above 51.5).
  sim_.SetState(SimState::kOverTemperature);
  EXPECT_EQ("000200100101100\r", line_->Ask("&S1\r"));
  EXPECT_EQ("(101.0 101.0 100.0 035 50.0 27.5 55.5 00000001\r",
            line_->Ask("Q1\r"));
  EXPECT_EQ("(1010 1000 FFFFFFFF 035 500 500 0275 555 005 00000110\r",
            line_->Ask("QQ\r"));
  EXPECT_EQ("555555000010099\r", line_->Ask("&R\r"));
}

TEST_F(TextProtocolTest, ControlCommandsAreConfirmedAndRecorded) {
  EXPECT_EQ("OK\r", line_->Ask("S02R00001\r"));
  SimCounters c = sim_.Counters();
  EXPECT_EQ("S02R00001\r", c.last_control_text);
  EXPECT_EQ(1, c.controls);
  EXPECT_EQ(1, c.text_requests["S"]);

  EXPECT_EQ("OK\r", line_->Ask("&C\r"));
  EXPECT_EQ("OK\r", line_->Ask("T\r"));
  EXPECT_EQ("OK\r", line_->Ask("E1S05X\r"));
  EXPECT_EQ("OK\r", line_->Ask("&Z7\r"));
  c = sim_.Counters();
  EXPECT_EQ(5, c.controls);
  EXPECT_EQ("&Z7\r", c.last_control_text);
  EXPECT_EQ(1, c.text_requests["&C\r"]);
  EXPECT_EQ(0, c.text_requests["C\r"]);  // "&C" is not taken for "C"

  sim_.SetRejectControls(true);
  EXPECT_EQ("NG\r", line_->Ask("S02R00001\r"));
  // Queries are still answered while controls are refused.
  EXPECT_EQ("00\r", line_->Ask("M\r"));
}

TEST_F(TextProtocolTest, UnknownCommandsAndTheBinaryProbeGetNg) {
  EXPECT_EQ("NG\r", line_->Ask("XYZ\r"));
  EXPECT_EQ("NG\r", line_->Ask("\r"));
  // The service's first probe while it does not know the protocol: the
  // identification request AB 01 31 23 followed by CR.
  EXPECT_EQ("NG\r", line_->Ask(test::Bytes("AB 01 31 23 0D")));
  SimCounters c = sim_.Counters();
  EXPECT_EQ(1, c.probes);
  EXPECT_EQ(2, c.text_requests["?"]);
}

TEST_F(TextProtocolTest, ABinaryFrameHoldingACrByteIsOneRequest) {
  // 0xAB + 0x03 + 0x91 + 0x0D + 0x00 = 0x14C; checksum 0xB4. The CR inside
  // the data does not end the request; the one after the frame does, so
  // exactly one "NG" comes back.
  EXPECT_EQ("NG\r", line_->Ask(test::Bytes("AB 03 91 0D 00 B4 0D")));
}

TEST_F(TextProtocolTest, RequestsInPiecesAreJoined) {
  line_->Write("&S");
  line_->Write("1\r");
  EXPECT_EQ("000200100101100\r", line_->Read());
}

TEST_F(TextProtocolTest, AnswersOnlyAtTheSpeedTheUpsIsSetTo) {
  // A UPS set to 9600 bps ignores the line still at 2400, then answers the
  // same line once it follows.
  sim_.SetBaud(9600);
  line_->Write("&S1\r");
  ASSERT_TRUE(WaitFor([&] { return sim_.Counters().ignored == 1; }));
  EXPECT_EQ("", line_->Read(300));
  EXPECT_EQ(0, sim_.Counters().answers);
  line_->SetBaud(9600);
  EXPECT_EQ("00\r", line_->Ask("M\r"));
}

TEST_F(TextProtocolTest, SilenceAnswersNothing) {
  sim_.SetState(SimState::kSilence);
  line_->Write("&S1\r");
  ASSERT_TRUE(WaitFor([&] { return sim_.Counters().text_requests["&S1\r"]; }));
  EXPECT_EQ("", line_->Read(300));
  sim_.SetState(SimState::kNormal);
  EXPECT_EQ("000200100101100\r", line_->Ask("&S1\r"));
}

TEST_F(TextProtocolTest, GarbageHasNoCrAndIsNoNg) {
  sim_.SetState(SimState::kGarbage);
  for (int i = 0; i < 20; ++i) {
    const std::string noise = line_->Ask("Q1\r");
    ASSERT_FALSE(noise.empty());
    EXPECT_EQ(std::string::npos, noise.find('\r')) << test::Hex(noise);
    EXPECT_NE("NG", noise.substr(0, 2));
  }
  // A control command in garbage is not taken.
  line_->Ask("S02R00001\r");
  EXPECT_EQ(0, sim_.Counters().controls);
}

TEST(TextModelsTest, OtherModelsCarryTheirRatings) {
  // "T-PWR30A1S": rating record "3000" and voltage class 2, input 201.0 V.
  Simulator sim;
  ASSERT_TRUE(sim.SetModel("T-PWR30A1S"));
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  SimLine line(sim.DevicePath(), 2400);
  EXPECT_EQ("%MT-PWR30A1S      1.230002\r", line.Ask("%M\r"));
  EXPECT_EQ("T-PWR30A1 01.02\r", line.Ask("&M\r"));
  EXPECT_EQ("(201.0 201.0 200.0 035 50.0 27.5 25.0 00000001\r",
            line.Ask("Q1\r"));
  ASSERT_TRUE(sim.SetModel("T-PWR20L"));
  EXPECT_EQ("%MT-PWR20L        1.220001\r", line.Ask("%M\r"));
  EXPECT_FALSE(sim.SetModel("T-PWR99Q"));
}

}  // namespace
}  // namespace zep
