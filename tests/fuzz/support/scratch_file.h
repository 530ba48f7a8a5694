// A scratch file for the targets whose parser reads a file: each input is
// written to the same file in a directory of the process's own, which is
// removed when the process ends.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace zep {

class ScratchFile {
 public:
  explicit ScratchFile(const char* name) {
    namespace fs = std::filesystem;
    std::random_device random;
    // Shared memory where there is some: a file written for every input
    // makes a disk-backed temporary directory the bottleneck of the run.
    std::error_code error;
    fs::path base = fs::is_directory("/dev/shm", error)
                        ? fs::path("/dev/shm")
                        : fs::temp_directory_path();
    for (int attempt = 0; attempt < 100 && directory_.empty(); ++attempt) {
      auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
      fs::path candidate =
          base / ("zep-fuzz-" + std::to_string(random()) +
                                       "-" + std::to_string(stamp % 1000000));
      if (fs::create_directory(candidate, error)) directory_ = candidate;
    }
    if (!directory_.empty()) path_ = (directory_ / name).string();
  }
  ~ScratchFile() {
    std::error_code error;
    if (!directory_.empty()) std::filesystem::remove_all(directory_, error);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  /// Replaces the file's contents; false when it cannot be written.
  bool Write(const uint8_t* data, size_t size) {
    if (path_.empty()) return false;
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data),
              static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
  }

  const std::string& path() const { return path_; }

 private:
  std::filesystem::path directory_;
  std::string path_;
};

}  // namespace zep
