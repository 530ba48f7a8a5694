// The service's side of a binary reply chain, for targets that cannot
// include the service's protocol headers beside the simulator's (both
// declare the frame constants of the same protocol).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zep {

/// What the UPS I/O thread makes of a reply chain.
struct ServiceReading {
  /// JoinReply's result: 1 when at least one frame was joined.
  int joined = 0;
  /// The joined payload.
  std::vector<uint8_t> payload;
  /// protocol_mode afterwards (a last frame makes it 1).
  int protocol_mode = -1;
  /// DispatchReply's result: -1 when no row has the reply type.
  int dispatched = -1;
};

/// Joins and dispatches `bytes` on a fresh UPS state record.
ServiceReading ReadAsService(const uint8_t* bytes, size_t count);

/// The largest payload the service keeps of one chain.
size_t ServiceAssemblySize();

}  // namespace zep
