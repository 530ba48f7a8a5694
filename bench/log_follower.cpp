#include "log_follower.h"

#include <fstream>

namespace zep {
namespace bench {

void LogFollower::Update() {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  in.seekg(offset_);
  std::string text;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  offset_ += static_cast<int64_t>(text.size());
  Take(text);
}

void LogFollower::Take(const std::string& text) {
  partial_ += text;
  size_t begin = 0;
  for (size_t end; (end = partial_.find('\n', begin)) != std::string::npos;
       begin = end + 1) {
    LoggedRequest request;
    if (ParseRequestLine(partial_.substr(begin, end - begin), &request)) {
      counter_.Add(request);
    }
  }
  partial_.erase(0, begin);
}

}  // namespace bench
}  // namespace zep
