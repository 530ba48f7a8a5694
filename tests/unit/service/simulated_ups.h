// A simulated UPS on a pseudo-terminal for the monitor and port search
// tests (native only). The simulator's own headers cannot share a
// translation unit with the service's protocol headers, so the tests reach
// it through this narrow interface.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ups_line.h"

namespace zep {

/// What the simulated UPS has seen.
struct SimulatedUpsCounts {
  /// Text requests by command ("&S1\r", "M\r", ...).
  std::map<std::string, int> text_requests;
  /// Binary identification probes (request frame and CR).
  int probes = 0;
  /// Requests that came at a line speed not the UPS's own.
  int ignored = 0;
};

/// A UPS line whose UPS the test can watch and steer; Device() is the
/// terminal the service opens.
class SimulatedUps : public UpsLine {
 public:
  /// Switches the state by its name ("normal", "silence", ...); false for
  /// an unknown name.
  virtual bool SetState(const std::string& name) = 0;
  virtual SimulatedUpsCounts Counts() const = 0;
  /// The requests received, in order: text requests escaped as the
  /// exchange log shows them ("\"&S1\\r\""), binary requests in hex.
  virtual std::vector<std::string> Requests() const = 0;
};

/// A UPS speaking the text (`binary` false) or the binary protocol at
/// `baud`, of its protocol's default model, starting in the state named.
/// Null (with a test failure) when it cannot start.
std::unique_ptr<SimulatedUps> StartSimulatedUps(bool binary, int baud,
                                                const std::string& state);

}  // namespace zep
