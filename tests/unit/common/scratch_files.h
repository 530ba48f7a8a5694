// Test helpers for the file readers: a scratch directory removed at the end
// of the test, and a guard that clears the settings a test touches and puts
// their earlier values back afterwards.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "process.h"

namespace zep {

class ScratchDir {
 public:
  ScratchDir() {
    namespace fs = std::filesystem;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
      fs::path candidate =
          fs::temp_directory_path() / ("zep-test-" + std::to_string(random()) +
                                       "-" + std::to_string(stamp % 1000000));
      std::error_code error;
      if (fs::create_directory(candidate, error)) path_ = candidate;
    }
  }
  ~ScratchDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool ok() const { return !path_.empty(); }

  /// The directory with its trailing separator.
  std::string Directory() const { return path_.string() + PathSeparator(); }

  std::string PathOf(const std::string& name) const {
    return (path_ / name).string();
  }

  /// Writes `bytes` exactly (no line-end translation); returns the path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string path = PathOf(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::filesystem::path path_;
};

/// Clears the given environment variables for the test and restores them.
class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(std::vector<std::string> keys)
      : keys_(std::move(keys)) {
    for (const std::string& key : keys_) {
      std::string value;
      bool was_set = GetEnvironmentValue(key.c_str(), &value);
      saved_.push_back({was_set, value});
      PutEnvironmentText((key + "=").c_str());
    }
  }
  ~EnvironmentGuard() {
    for (size_t i = 0; i < keys_.size(); ++i) {
      const Saved& saved = saved_[i];
      PutEnvironmentText(
          (keys_[i] + "=" + (saved.was_set ? saved.value : "")).c_str());
    }
  }
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

 private:
  struct Saved {
    bool was_set;
    std::string value;
  };
  std::vector<std::string> keys_;
  std::vector<Saved> saved_;
};

/// The value of an environment variable, or "<unset>".
inline std::string EnvOrUnset(const char* key) {
  std::string value;
  return GetEnvironmentValue(key, &value) ? value : "<unset>";
}

}  // namespace zep
