// The UPS line under Wine: a COM port that the test script has mapped to a
// simulator it started, named by an environment variable.
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "ups_line.h"

namespace zep {
namespace {

class NamedLine : public UpsLine {
 public:
  explicit NamedLine(std::string device) : device_(std::move(device)) {}
  std::string Device() const override { return device_; }

 private:
  std::string device_;
};

}  // namespace

std::unique_ptr<UpsLine> OpenUpsLine(UpsLanguage language, std::string* why) {
  const char* variable = language == UpsLanguage::kText ? "ZEP_TEST_TEXT_UPS"
                                                        : "ZEP_TEST_BINARY_UPS";
  const char* device = std::getenv(variable);
  if (device == nullptr || device[0] == '\0') {
    if (why != nullptr) *why = std::string(variable) + " is not set";
    return nullptr;
  }
  return std::make_unique<NamedLine>(device);
}

}  // namespace zep
