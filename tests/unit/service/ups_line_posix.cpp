// The native UPS line: the simulator library on a pseudo-terminal.
#include <memory>
#include <string>

#include "simulated_ups.h"
#include "ups_line.h"

namespace zep {

std::unique_ptr<UpsLine> OpenUpsLine(UpsLanguage language, std::string* why) {
  // A simulator that cannot start is a failure of the test, not a missing
  // line: StartSimulatedUps records it.
  std::unique_ptr<SimulatedUps> ups = StartSimulatedUps(
      language == UpsLanguage::kBinary, kUpsLineBaud, "normal");
  if (!ups && why != nullptr) *why = "the simulator did not start";
  return ups;
}

}  // namespace zep
