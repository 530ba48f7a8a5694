#include "balloon_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace zep {
namespace {

TEST(BalloonRulesTest, TimeoutIsClamped) {
  EXPECT_EQ(ClampBalloonTimeout(0), 10000);
  EXPECT_EQ(ClampBalloonTimeout(9999), 10000);
  EXPECT_EQ(ClampBalloonTimeout(29999), 29999);
  EXPECT_EQ(ClampBalloonTimeout(30000), 30000);
  EXPECT_EQ(ClampBalloonTimeout(45000), 30000);
}

TEST(BalloonRulesTest, ABalloonThatIsUpIsKeptAndTheNewOneFlashes) {
  EXPECT_EQ(DecideBalloon(true, false), BalloonAction::kShow);
  EXPECT_EQ(DecideBalloon(true, true), BalloonAction::kRefuseAndFlash);
  EXPECT_EQ(DecideBalloon(false, true), BalloonAction::kHide);
  EXPECT_EQ(DecideBalloon(false, false), BalloonAction::kHide);
}

TEST(BalloonRulesTest, ThreeFlashesInSevenTicks) {
  int phases = FlashPhases(kNoticeFlashes);
  std::string frames;
  for (int tick = 0; tick < 7; ++tick) {
    switch (FlashTick(&phases)) {
      case FlashFrame::kReverse: frames += 'R'; break;
      case FlashFrame::kNormal: frames += 'N'; break;
      case FlashFrame::kDone: frames += '.'; break;
    }
  }
  EXPECT_EQ(frames, "RNRNRN.");
  EXPECT_EQ(phases, -1);
  // A new state icon sets the counter to -1: the next tick ends the flash.
  phases = -1;
  EXPECT_EQ(FlashTick(&phases), FlashFrame::kDone);
}

TEST(BalloonRulesTest, ACaretThatDoesNotBlinkStillFlashes) {
  EXPECT_EQ(FlashPeriod(0xFFFFFFFFu), 530u);  // INFINITE
  EXPECT_EQ(FlashPeriod(0), 530u);            // the call failed
  EXPECT_EQ(FlashPeriod(400), 400u);
}

TEST(BalloonRulesTest, TheIconIsTriedForABoundedTime) {
  EXPECT_TRUE(TryIconAgain(0));
  EXPECT_TRUE(TryIconAgain(kIconAddTries - 1));
  EXPECT_FALSE(TryIconAgain(kIconAddTries));
}

}  // namespace
}  // namespace zep
