// Follows the simulator's exchange log file while it grows: each Update
// reads the lines written since the last one and feeds their text requests
// to a PassCounter. A line still being written is kept for the next time.
#pragma once

#include <cstdint>
#include <string>

#include "exchange_scan.h"

namespace zep {
namespace bench {

class LogFollower {
 public:
  explicit LogFollower(std::string path) : path_(std::move(path)) {}

  /// Reads what was added since the last call (nothing when the file is
  /// missing).
  void Update();
  /// Feeds `text` as if it had been appended to the file.
  void Take(const std::string& text);

  const PassCounter& counter() const { return counter_; }

 private:
  std::string path_;
  int64_t offset_ = 0;
  std::string partial_;
  PassCounter counter_;
};

}  // namespace bench
}  // namespace zep
