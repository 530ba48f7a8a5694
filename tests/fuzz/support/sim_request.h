// The simulated UPS's side of a request frame, for targets that cannot
// include the simulator's headers beside the service's (both declare the
// frame constants of the same protocol).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zep {

/// What the simulated UPS makes of the bytes of one request.
struct SimReading {
  /// A whole request frame was taken off the front of the bytes.
  bool frame = false;
  uint8_t id = 0;
  std::vector<uint8_t> data;
  /// A CR followed the frame.
  bool probe = false;
  /// Bytes left over after the frame.
  size_t left = 0;
  /// The UPS answers the request.
  bool answered = false;
  /// A control request the UPS carries out (with controls accepted).
  bool control_accepted = false;
};

/// Reads `bytes` as the simulator reads its line, and answers the first
/// request with a binary model whose controls are accepted.
SimReading ReadAsSimulator(const uint8_t* bytes, size_t count);

}  // namespace zep
