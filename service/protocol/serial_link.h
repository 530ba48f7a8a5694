// The seam through which the command translator reaches the UPS's serial
// port: the real backend goes through the serial library (port slot 0), and
// tests put a scripted fake in its place.
#pragma once

#include <cstdint>

namespace zep {

class SerialLink {
 public:
  virtual ~SerialLink() = default;

  /// Discards what waits to be sent.
  virtual void FlushTx() = 0;
  /// Discards what has been received and not read.
  virtual void FlushRx() = 0;
  /// Writes `length` bytes; 1 when all were written, else 0.
  virtual int Send(const uint8_t* bytes, int length) = 0;
  /// Waits until a reply has arrived and gone quiet (polling every
  /// `interval_ms`, giving up after `first_polls` polls without data, ending
  /// after `after_polls` polls without growth, or at once beyond `most`
  /// bytes); returns the number of bytes waiting, or -1.
  virtual int RecvChars(int interval_ms, int first_polls, int after_polls,
                        int most) = 0;
  /// Reads `count` waiting bytes; returns the number read, or -1.
  virtual int RecvString(uint8_t* buffer, int count) = 0;
};

}  // namespace zep
