#include "sim_state.h"

namespace zep {
namespace {

struct StateRow {
  SimState state;
  const char* name;
};

const StateRow kStateRows[] = {
    {SimState::kNormal, "normal"},
    {SimState::kMainsFailure, "mains-failure"},
    {SimState::kBatteryLow, "battery-low"},
    {SimState::kOverTemperature, "over-temperature"},
    {SimState::kOverload, "overload"},
    {SimState::kSilence, "silence"},
    {SimState::kGarbage, "garbage"},
};

}  // namespace

const char* StateName(SimState state) {
  for (const StateRow& row : kStateRows) {
    if (row.state == state) return row.name;
  }
  return "normal";
}

bool ParseState(const std::string& name, SimState* state) {
  for (const StateRow& row : kStateRows) {
    if (name == row.name) {
      *state = row.state;
      return true;
    }
  }
  return false;
}

std::string StateNames() {
  std::string names;
  for (const StateRow& row : kStateRows) {
    if (!names.empty()) names += ", ";
    names += row.name;
  }
  return names;
}

Readings ReadingsFor(const UpsModel& model, SimState state) {
  Readings r;
  r.input_voltage = model.rated_v + 1.0;
  r.max_input_voltage = model.rated_v + 1.0;
  r.output_voltage = model.rated_v;
  r.input_frequency = 50.0;
  r.output_frequency = 50.0;
  r.battery_voltage = 27.5;
  r.battery_capacity = 100;
  r.battery_runtime = 40;
  r.temperature = 25.0;
  r.load_percent = 35;

  switch (state) {
    case SimState::kMainsFailure:
    case SimState::kBatteryLow:
      // On battery the inverter keeps the output at its rating; the input
      // side reads nothing.
      r.mains_failure = true;
      r.input_voltage = 0.0;
      r.input_frequency = 0.0;
      r.temperature = 26.0;
      if (state == SimState::kBatteryLow) {
        r.battery_low = true;
        r.battery_voltage = 21.5;
        r.battery_capacity = 10;
        r.battery_runtime = 3;
      } else {
        r.battery_voltage = 24.5;
        r.battery_capacity = 80;
        r.battery_runtime = 30;
      }
      break;
    case SimState::kOverTemperature:
      // At or above 51.5 C counts as too hot.
      r.over_temperature = true;
      r.temperature = 55.5;
      break;
    case SimState::kOverload:
      r.overload = true;
      r.load_percent = 115;
      break;
    default:
      break;
  }
  r.output_va = model.rated_va * r.load_percent / 100;
  r.output_w = model.rated_w * r.load_percent / 100;
  return r;
}

}  // namespace zep
