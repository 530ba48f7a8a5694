#include "exchange_log.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "text_format.h"

namespace zep {
namespace {

std::string TimeStamp() {
  using std::chrono::system_clock;
  const system_clock::time_point now = system_clock::now();
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                         now.time_since_epoch())
                         .count();
  const time_t seconds = static_cast<time_t>(ms / 1000);
  struct tm parts;
  localtime_r(&seconds, &parts);
  return FormatText("%02d:%02d:%02d.%03d", parts.tm_hour, parts.tm_min,
                    parts.tm_sec, static_cast<int>(ms % 1000));
}

}  // namespace

ExchangeLog::~ExchangeLog() { CloseFile(); }

bool ExchangeLog::OpenFile(const std::string& path, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    if (error != nullptr) {
      *error = FormatText("cannot write the log file %s: %s", path.c_str(),
                          std::strerror(errno));
    }
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = file;
  return true;
}

void ExchangeLog::CloseFile() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void ExchangeLog::Received(const uint8_t* bytes, size_t size, bool binary) {
  Add("rx", binary ? HexBytes(bytes, size) : EscapeText(bytes, size));
}

void ExchangeLog::Sent(const uint8_t* bytes, size_t size, bool binary) {
  Add("tx", binary ? HexBytes(bytes, size) : EscapeText(bytes, size));
}

void ExchangeLog::Note(const std::string& text) { Add("--", text); }

std::vector<std::string> ExchangeLog::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<std::string>(lines_.begin(), lines_.end());
}

void ExchangeLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::string ExchangeLog::EscapeText(const uint8_t* bytes, size_t size) {
  std::string text = "\"";
  for (size_t i = 0; i < size; ++i) {
    const uint8_t c = bytes[i];
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\' || c == '"') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      text += FormatText("\\x%02X", c);
    }
  }
  text += '"';
  return text;
}

std::string ExchangeLog::HexBytes(const uint8_t* bytes, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    if (i > 0) text += ' ';
    text += FormatText("%02X", bytes[i]);
  }
  return text;
}

void ExchangeLog::Add(const char* tag, const std::string& text) {
  std::string line = TimeStamp();
  line += ' ';
  line += tag;
  line += ' ';
  line += text;
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr) {
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
  lines_.push_back(std::move(line));
  while (lines_.size() > kMaxLines) lines_.pop_front();
}

}  // namespace zep
