#include <cstdlib>
#include <mutex>

#include "process.h"
#include "process_backend.h"

namespace zep {

std::mutex& EnvironmentLock() {
  static std::mutex lock;
  return lock;
}

bool GetEnvironmentValue(const char* key, std::string* value) {
  if (key == nullptr) return false;
  std::lock_guard<std::mutex> hold(EnvironmentLock());
  const char* found = std::getenv(key);
  if (found == nullptr) return false;
  if (value != nullptr) *value = found;
  return true;
}

std::string ExecutableDirectory() {
  std::string path = ExecutablePath();
  size_t cut = path.find_last_of(PathSeparator());
  if (cut == std::string::npos) return std::string();
  return path.substr(0, cut + 1);
}

}  // namespace zep
