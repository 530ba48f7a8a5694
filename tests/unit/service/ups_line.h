// A UPS on a serial line for the end-to-end tests of the UPS I/O worker.
// Natively the simulator library plays it on a pseudo-terminal of its own;
// under Wine the test script starts the simulator program, maps COM ports
// to it and names the devices in ZEP_TEST_TEXT_UPS and ZEP_TEST_BINARY_UPS
// (for example "\\.\COM1"); without them the tests are skipped.
#pragma once

#include <memory>
#include <string>

namespace zep {

enum class UpsLanguage { kText, kBinary };

/// The line speed the UPS answers at.
constexpr int kUpsLineBaud = 2400;

class UpsLine {
 public:
  virtual ~UpsLine() = default;
  /// The device to open with Kbapi_COMPortOpen.
  virtual std::string Device() const = 0;
};

/// A UPS speaking `language` at kUpsLineBaud, in its normal state with the
/// default model of its language; null with the reason in `why` when there
/// is none.
std::unique_ptr<UpsLine> OpenUpsLine(UpsLanguage language, std::string* why);

}  // namespace zep
