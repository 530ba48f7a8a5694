// The event scripts: the batch files that react to power events. The
// service does not shut the computer down itself; it starts the user's
// script with the current UPS values and the configured wait as arguments,
// and the script decides. All five runners run on the event thread (the
// recovery also on the monitor thread after a lost link), and none waits for
// its script to end.
#pragma once

#include "service_context.h"

namespace zep {

/// Away mode: continuous, system required, away mode required; and the
/// continuous-only state that ends the request.
constexpr uint32_t kAwayModeOn = 0x80000041u;
constexpr uint32_t kAwayModeOff = 0x80000000u;

/// The information items the scripts take their arguments from.
constexpr int kInfoBattery = 7;
constexpr int kInfoTag172 = 8;
constexpr int kInfoOutputPower = 10;
constexpr int kInfoTemperature = 11;

/// "powerfail.bat" with items 8, 10, 11, 7 and the wait of ZEP_PF_WAIT
/// (default "300"); asks for away mode first when ZEP_AWAY_MODE is 1.
void RunPowerFail(ServiceContext& context);

/// "emergency.bat" like the power failure, with ZEP_LB_WAIT (default "30").
void RunEmergency(ServiceContext& context);

/// "powerrecovery.bat" without arguments; ends the away-mode request when
/// ZEP_AWAY_MODE is 1.
void RunPowerRecovery(ServiceContext& context);

/// "temperature.bat" with "1" (began) or "0" (ended), then items 11, 8, 10.
void RunTemperature(ServiceContext& context, bool began);

/// "overload.bat" with "1" or "0", then items 8, 10, 11.
void RunOverload(ServiceContext& context, bool began);

}  // namespace zep
