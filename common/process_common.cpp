#include "process.h"

namespace zep {

std::string ExecutableDirectory() {
  std::string path = ExecutablePath();
  size_t cut = path.find_last_of(PathSeparator());
  if (cut == std::string::npos) return std::string();
  return path.substr(0, cut + 1);
}

}  // namespace zep
