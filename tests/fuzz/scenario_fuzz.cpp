// Fuzz target: a scenario file for the simulator, as a user writes it,
// through ParseScenario. A scenario accepted is a list of known actions in
// time order, each from a line of the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<ScenarioStep> steps;
  std::string error;
  if (!ParseScenario(text, "fuzz.txt", &steps, &error)) {
    Check(error.rfind("fuzz.txt:", 0) == 0, "an error names the place");
    return 0;
  }
  int64_t at = 0;
  int line = 0;
  for (const ScenarioStep& step : steps) {
    Check(IsScenarioAction(step.action), "every step is a known action");
    Check(step.at_ms >= at, "steps are in time order, none before 0");
    Check(step.line > line, "each step comes from a later line");
    at = step.at_ms;
    line = step.line;
  }
  return 0;
}
