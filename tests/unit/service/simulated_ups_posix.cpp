#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "simulated_ups.h"
#include "simulator.h"

namespace zep {
namespace {

class SimulatorUps : public SimulatedUps {
 public:
  explicit SimulatorUps(const SimOptions& options) : simulator_(options) {}
  ~SimulatorUps() override { simulator_.Stop(); }

  bool Start(std::string* why) { return simulator_.Start(why); }
  std::string Device() const override { return simulator_.DevicePath(); }
  bool SetState(const std::string& name) override {
    SimState state;
    if (!ParseState(name, &state)) return false;
    simulator_.SetState(state);
    return true;
  }
  SimulatedUpsCounts Counts() const override {
    SimCounters counters = simulator_.Counters();
    SimulatedUpsCounts counts;
    counts.text_requests = counters.text_requests;
    counts.probes = counters.probes;
    counts.ignored = counters.ignored;
    return counts;
  }
  std::vector<std::string> Requests() const override {
    // "12:00:01.250 rx ..." lines: what follows the marker.
    std::vector<std::string> requests;
    for (const std::string& line : simulator_.LogLines()) {
      size_t marker = line.find(" rx ");
      if (marker != std::string::npos)
        requests.push_back(line.substr(marker + 4));
    }
    return requests;
  }

 private:
  Simulator simulator_;
};

}  // namespace

std::unique_ptr<SimulatedUps> StartSimulatedUps(bool binary, int baud,
                                                const std::string& state) {
  SimOptions options;
  options.protocol = binary ? SimProtocol::kBinary : SimProtocol::kText;
  options.baud = baud;
  if (!ParseState(state, &options.state)) {
    ADD_FAILURE() << "unknown state " << state;
    return nullptr;
  }
  auto ups = std::make_unique<SimulatorUps>(options);
  std::string why;
  if (!ups->Start(&why)) {
    ADD_FAILURE() << why;
    return nullptr;
  }
  return ups;
}

}  // namespace zep
