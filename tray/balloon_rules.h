// The rules behind the balloons and the flashing of the tray icon: how
// long a balloon stays, when a new one is refused, how a flash counts down,
// and how long the program keeps trying to add its icon at logon.
#pragma once

#include <cstdint>

namespace zep {

/// A balloon stays at least 10 s and at most 30 s.
int ClampBalloonTimeout(int timeout_ms);

enum class BalloonAction {
  kHide,            ///< neither title nor text: hide any balloon
  kRefuseAndFlash,  ///< one of ours is still up: keep it, flash 3 times
  kShow,
};

/// Flashes that stand in for a refused balloon, and after each event when
/// balloons are off.
constexpr int kNoticeFlashes = 3;
/// Flashes when the icon first appears.
constexpr int kStartFlashes = 5;

BalloonAction DecideBalloon(bool has_title_or_text, bool balloon_up);

/// The flash counter for `count` flashes: two phases each.
int FlashPhases(int count);

enum class FlashFrame { kNormal, kReverse, kDone };

/// One tick of the flash timer: counts `*phases` down and says what to
/// show. kDone (show the normal icon, stop the timer) once it goes below 0;
/// so `count` flashes show the reverse image `count` times and end on the
/// normal icon after 2 x count + 1 ticks.
FlashFrame FlashTick(int* phases);

/// The flash period for a caret blink time. A caret that does not blink
/// reports INFINITE (0xFFFFFFFF) and a failure 0; both would stop the
/// flashing, so they get the usual blink time of 530 ms instead.
unsigned FlashPeriod(uint32_t caret_blink_ms);

/// At logon the notification area may not exist yet when the program
/// starts. The icon is then tried again once a second (and at once when
/// the shell announces its taskbar) for this many tries before the program
/// gives up with its error box.
constexpr int kIconAddTries = 120;
constexpr int kIconRetryPeriodMs = 1000;

/// Whether another try is due after `tries_done` failed ones.
bool TryIconAgain(int tries_done);

}  // namespace zep
