// The simulator's exchange log: one time-stamped line per request, answer or
// event, kept in memory for the tests and written to a file when asked.
//
// Line shapes ("HH:MM:SS.mmm" is local wall-clock time):
//   12:00:01.250 rx "&S1\r"              a text request, escaped
//   12:00:01.251 tx "0002001001101100\r" a text answer
//   12:00:02.010 rx AB 01 33 21          a binary request, in hex
//   12:00:02.011 tx AB 03 02 81 00 12 BD a binary reply chain, in hex
//   12:00:03.000 -- state mains-failure  anything else worth knowing
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zep {

class ExchangeLog {
 public:
  ExchangeLog() = default;
  ~ExchangeLog();
  ExchangeLog(const ExchangeLog&) = delete;
  ExchangeLog& operator=(const ExchangeLog&) = delete;

  /// Writes every later line also to `path` (created or emptied). False,
  /// with a reason in `error`, when the file cannot be opened.
  bool OpenFile(const std::string& path, std::string* error);
  void CloseFile();

  /// A request from the line: escaped text (`binary` false) or hex bytes.
  void Received(const uint8_t* bytes, size_t size, bool binary);
  /// An answer written to the line.
  void Sent(const uint8_t* bytes, size_t size, bool binary);
  /// A free-form event line.
  void Note(const std::string& text);

  /// The lines kept in memory, oldest first (at most kMaxLines).
  std::vector<std::string> Lines() const;
  void Clear();

  /// Printable ASCII as it is, backslash and quote escaped, CR as \r, LF as
  /// \n, any other byte as \xHH; surrounded by double quotes.
  static std::string EscapeText(const uint8_t* bytes, size_t size);
  /// Upper-case hex bytes separated by single spaces ("AB 01 33 21").
  static std::string HexBytes(const uint8_t* bytes, size_t size);

  static constexpr size_t kMaxLines = 20000;

 private:
  void Add(const char* tag, const std::string& text);

  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  FILE* file_ = nullptr;
};

}  // namespace zep
