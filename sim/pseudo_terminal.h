// The simulator's end of the serial line: a pseudo-terminal. The service
// opens the slave side (its path, or a symbolic link to it that Wine maps to
// COM1) as if it were a COM port; the simulator reads and writes the master.
//
// The simulator keeps a descriptor of the slave open for its whole life, so
// the master never sees a hang-up when the service closes the port, and the
// service can close and reopen it as often as it likes. The line settings
// (speed included) belong to the slave and are visible through the master.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zep {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  /// Creates the terminal in raw mode and, when `link_path` is not empty,
  /// makes `link_path` a symbolic link to the slave (an existing symbolic
  /// link there is replaced; any other file is left alone and the open
  /// fails). False with a reason in `error` on failure.
  bool Open(const std::string& link_path, std::string* error);
  /// Closes both sides and removes the link if it still points at the slave.
  void Close();
  bool IsOpen() const { return master_ >= 0; }

  /// The slave's device path, for example "/dev/pts/3".
  const std::string& SlavePath() const { return slave_path_; }
  const std::string& LinkPath() const { return link_path_; }
  /// The master descriptor (non-blocking), for polling.
  int MasterFd() const { return master_; }

  /// The line speed last set on the slave, in bits per second; -1 when it
  /// cannot be read or is not a standard speed.
  int LineSpeed() const;

  /// Reads what is waiting (non-blocking): the byte count, 0 when nothing
  /// is waiting, -1 on an error.
  long Read(uint8_t* buffer, size_t size);
  /// Writes all bytes, waiting up to `timeout_ms` for room in the line's
  /// queue. False when not everything could be written.
  bool WriteAll(const uint8_t* bytes, size_t size, int timeout_ms);

 private:
  int master_ = -1;
  int slave_keep_ = -1;
  std::string slave_path_;
  std::string link_path_;
};

/// The bits per second of a termios speed constant; -1 for none.
int BaudFromSpeedCode(unsigned speed_code);

}  // namespace zep
