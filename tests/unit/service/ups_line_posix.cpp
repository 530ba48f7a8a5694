// The native UPS line: the simulator library on a pseudo-terminal.
#include <memory>
#include <string>

#include "simulator.h"
#include "ups_line.h"

namespace zep {
namespace {

class SimulatedLine : public UpsLine {
 public:
  explicit SimulatedLine(const SimOptions& options) : simulator_(options) {}
  ~SimulatedLine() override { simulator_.Stop(); }

  bool Start(std::string* why) { return simulator_.Start(why); }
  std::string Device() const override { return simulator_.DevicePath(); }

 private:
  Simulator simulator_;
};

}  // namespace

std::unique_ptr<UpsLine> OpenUpsLine(UpsLanguage language, std::string* why) {
  SimOptions options;
  options.protocol = language == UpsLanguage::kText ? SimProtocol::kText
                                                    : SimProtocol::kBinary;
  options.baud = kUpsLineBaud;
  auto line = std::make_unique<SimulatedLine>(options);
  if (!line->Start(why)) return nullptr;
  return line;
}

}  // namespace zep
