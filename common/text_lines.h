// Reading the suite's plain-text files (ZEP.conf and the message files): a
// line reader with the Windows runtime's text-mode rules on every platform,
// and the leading-number rule that both readers share.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace zep {

/// The longest file path the readers accept: a 260-byte path buffer with
/// its terminator. A longer path is refused rather than cut.
constexpr size_t kMaxPathLength = 259;

/// Buffer for one piece of a line: at most 260 characters and a terminator.
constexpr size_t kLinePieceSize = 261;

/// Reads a file in pieces the way fgets does on a file opened in text mode
/// on Windows: a CR directly before a LF is dropped and a Ctrl+Z byte ends
/// the file. Doing the translation here, on a file opened in binary mode,
/// makes a file written on Windows read the same on every platform.
class TextLineReader {
 public:
  TextLineReader() = default;
  ~TextLineReader();
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

  /// Opens the file for reading. False for a null or empty path, a path
  /// longer than kMaxPathLength, or a file that cannot be opened; OpenError
  /// then says why.
  bool Open(const char* path);

  /// Why the last Open failed, as a short text ("No such file or
  /// directory"); empty after a successful Open.
  const std::string& OpenError() const { return open_error_; }

  /// Reads the next piece: characters up to and including the next line
  /// feed, but at most size-1 of them; the rest of a longer line comes as
  /// the next piece. The buffer is always terminated. Returns false at the
  /// end of the file when nothing was read.
  bool ReadPiece(char* buffer, size_t size);

  /// Reads the next line as ReadPiece does, but a line too long for the
  /// buffer is cut: its first size-1 characters come, the rest of it is
  /// skipped (never read as a line of its own), and `*cut` (if given) says
  /// so. A line that fits exactly, its line feed left over, is not cut.
  bool ReadLine(char* buffer, size_t size, bool* cut);

 private:
  /// The next character as text mode gives it (CR LF as LF, Ctrl+Z as the
  /// end); EOF at the end.
  int NextChar();

  std::FILE* file_ = nullptr;
  bool at_end_ = false;
  std::string open_error_;
};

/// Reads the leading decimal integer of `text` as "%d" does: white space
/// skipped, an optional sign, then at least one digit. Values beyond the
/// range of int are held at its limits. False when the text does not begin
/// with a number (after white space).
bool ParseLeadingDecimal(const char* text, int* value);

}  // namespace zep
