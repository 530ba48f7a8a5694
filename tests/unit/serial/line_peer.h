// The far end of the serial line that the serlink32 tests talk to.
//
// Natively it is a pseudo-terminal that the test makes, with a responder
// thread on its master side (line_peer_posix.cpp). Under Wine it is the COM
// port named by the environment variable ZEP_TEST_SERIAL_DEVICE (for example
// \\.\COM1), whose far end is tests/wine/pty_responder.py; without the
// variable the tests that need a line are skipped.
//
// Both responders answer every line that ends in CR alike. With L the line
// without its CR:
//   "SILENT"  no answer at all;
//   "PIECES"  "PIECE0" ... "PIECE7" (the last followed by CR), 49 bytes in
//             eight pieces 50 ms apart;
//   "LONG"    100 bytes: the digits "0123456789" over and over, the 100th
//             byte CR;
//   others    "<" L ">" CR, so "Q1" gets "<Q1>\r".
#pragma once

#include <memory>
#include <string>

namespace zep {
namespace test {

class LinePeer {
 public:
  virtual ~LinePeer() = default;
  /// The name to pass to Kbapi_COMPortOpen.
  virtual const std::string& device() const = 0;
};

/// The line for one test; null (with the reason in `why`) when none exists.
std::unique_ptr<LinePeer> StartLinePeer(std::string* why);

/// A device name that cannot be opened on this platform.
const char* MissingDeviceName();

}  // namespace test
}  // namespace zep
