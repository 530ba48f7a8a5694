#include <cstdlib>

#include "line_peer.h"

namespace zep {
namespace test {
namespace {

// The far end runs outside the test (tests/wine/pty_responder.py behind the
// COM port), so there is nothing to start or stop here.
class NamedLine : public LinePeer {
 public:
  explicit NamedLine(std::string device) : device_(std::move(device)) {}
  const std::string& device() const override { return device_; }

 private:
  const std::string device_;
};

}  // namespace

std::unique_ptr<LinePeer> StartLinePeer(std::string* why) {
  const char* device = std::getenv("ZEP_TEST_SERIAL_DEVICE");
  if (device == nullptr || *device == '\0') {
    *why = "ZEP_TEST_SERIAL_DEVICE names no COM port with a responder";
    return nullptr;
  }
  return std::unique_ptr<LinePeer>(new NamedLine(device));
}

// Wine maps only the COM ports it finds or is told about; this one is neither.
const char* MissingDeviceName() { return "\\\\.\\COM199"; }

}  // namespace test
}  // namespace zep
