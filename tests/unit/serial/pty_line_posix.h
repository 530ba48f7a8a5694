// A pseudo-terminal as the far end of the serial line (POSIX tests only):
// the library opens the slave by its path, a responder thread answers on the
// master side as line_peer.h describes.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "line_peer.h"

namespace zep {
namespace test {

class PtyLine : public LinePeer {
 public:
  /// Null (with the reason in `why`) when no pseudo-terminal can be made.
  static std::unique_ptr<PtyLine> Open(std::string* why);
  ~PtyLine() override;

  const std::string& device() const override { return device_; }

  /// The test's own descriptor of the slave side, for reading back the
  /// settings the library made (they belong to the terminal, not to one
  /// descriptor).
  int slave_fd() const { return slave_; }

  /// While on, the responder writes filler bytes ('n') whenever the line
  /// has room, so that input keeps arriving at every moment.
  void SetNoise(bool on) { noise_.store(on); }

 private:
  PtyLine(int master, int slave, std::string device);
  void Run();
  void Answer(const std::string& line);
  void WriteAll(const std::string& bytes);

  const int master_;
  const int slave_;
  const std::string device_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> noise_{false};
  std::thread thread_;
};

}  // namespace test
}  // namespace zep
