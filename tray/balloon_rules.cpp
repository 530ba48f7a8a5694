#include "balloon_rules.h"

namespace zep {
namespace {

constexpr int kShortestBalloonMs = 10000;
constexpr int kLongestBalloonMs = 30000;
constexpr uint32_t kUsualBlinkMs = 530;
constexpr uint32_t kInfiniteBlink = 0xFFFFFFFFu;

}  // namespace

int ClampBalloonTimeout(int timeout_ms) {
  if (timeout_ms < kShortestBalloonMs) return kShortestBalloonMs;
  if (timeout_ms >= kLongestBalloonMs) return kLongestBalloonMs;
  return timeout_ms;
}

BalloonAction DecideBalloon(bool has_title_or_text, bool balloon_up) {
  if (!has_title_or_text) return BalloonAction::kHide;
  return balloon_up ? BalloonAction::kRefuseAndFlash : BalloonAction::kShow;
}

int FlashPhases(int count) { return 2 * count; }

FlashFrame FlashTick(int* phases) {
  const int left = *phases - 1;
  if (left < 0) {
    *phases = -1;
    return FlashFrame::kDone;
  }
  *phases = left;
  return left % 2 == 1 ? FlashFrame::kReverse : FlashFrame::kNormal;
}

unsigned FlashPeriod(uint32_t caret_blink_ms) {
  if (caret_blink_ms == 0 || caret_blink_ms == kInfiniteBlink) {
    return kUsualBlinkMs;
  }
  return caret_blink_ms;
}

bool TryIconAgain(int tries_done) { return tries_done < kIconAddTries; }

}  // namespace zep
