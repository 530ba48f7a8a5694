// The conditions the simulated UPS can be in, and the readings it reports in
// each of them. Both protocols answer from the same readings.
#pragma once

#include <string>

#include "ups_models.h"

namespace zep {

enum class SimState {
  kNormal,           ///< mains present, everything in range
  kMainsFailure,     ///< running on battery
  kBatteryLow,       ///< running on battery, and the battery is nearly empty
  kOverTemperature,  ///< mains present, the UPS is too hot (55.5 C)
  kOverload,         ///< mains present, load 115 %
  kSilence,          ///< the link is lost: nothing is answered
  kGarbage,          ///< answers are noise: random bytes, broken frames
};

/// The state's name as used on the command line, on standard input and in
/// scenario files ("normal", "mains-failure", "battery-low",
/// "over-temperature", "overload", "silence", "garbage").
const char* StateName(SimState state);
/// Reads a state name; false when it is none of them.
bool ParseState(const std::string& name, SimState* state);
/// All state names separated by ", " (for help and error texts).
std::string StateNames();

/// What the UPS measures and signals. Every value is chosen so that it is
/// exact in binary (whole numbers and halves), so the binary encodings and
/// the text answers carry the same digits.
struct Readings {
  double input_voltage = 0;      ///< measurement 57, V
  double max_input_voltage = 0;  ///< highest input seen (second "Q1" field)
  double output_voltage = 0;     ///< measurement 79, V
  double input_frequency = 0;    ///< measurement 28, Hz
  double output_frequency = 0;   ///< measurement 29, Hz
  double battery_voltage = 0;    ///< measurement 34, V
  int battery_capacity = 0;      ///< measurement 35, percent
  int battery_runtime = 0;       ///< measurement 36, minutes left
  double temperature = 0;        ///< measurement 63, degrees C
  int load_percent = 0;          ///< measurement 48
  int output_va = 0;             ///< measurement 24
  int output_w = 0;              ///< measurement 22
  bool mains_failure = false;
  bool battery_low = false;
  bool over_temperature = false;
  bool overload = false;
};

/// The readings of `model` in `state`. Silence and garbage carry the normal
/// readings (they only change what reaches the line).
Readings ReadingsFor(const UpsModel& model, SimState state);

}  // namespace zep
