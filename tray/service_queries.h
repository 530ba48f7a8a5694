// The tray's two exchanges with the service's external command port, as a
// seam: the real one over a UDP endpoint, a scripted one in the tests.
#pragma once

#include <cstdint>
#include <string>

#include "udp.h"

namespace zep {

/// Buffer size for RequestFrame: the largest frame and its terminator.
constexpr int kFrameBufferSize = 261;

class ServiceQueries {
 public:
  virtual ~ServiceQueries() = default;
  /// A text of the service's tables (table 5: the UPS information items).
  /// Returns the text's length, or -1 when no valid answer came.
  virtual int RequestText(int table, int identifier, int column,
                          std::string* text) = 0;
  /// A data request with `length` payload bytes from `buffer`; the answer's
  /// payload and two zero bytes come back in `buffer` (kFrameBufferSize
  /// bytes). Returns the answer's payload length + 2, or -1.
  virtual int RequestFrame(uint8_t* buffer, int length, int timeout_ms) = 0;
};

/// The real exchanges on an endpoint whose peer is the service's port.
class EndpointQueries : public ServiceQueries {
 public:
  explicit EndpointQueries(UdpEndpoint* endpoint) : endpoint_(endpoint) {}
  int RequestText(int table, int identifier, int column,
                  std::string* text) override;
  int RequestFrame(uint8_t* buffer, int length, int timeout_ms) override;

 private:
  UdpEndpoint* endpoint_;
};

}  // namespace zep
