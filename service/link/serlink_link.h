// The serial link of the running service: the UPS port in slot 0 of the
// serial library.
#pragma once

#include "protocol/serial_link.h"

namespace zep {

class SerlinkLink : public SerialLink {
 public:
  /// The library's port slot the service owns.
  static constexpr uint32_t kPortSlot = 0;

  void FlushTx() override;
  void FlushRx() override;
  int Send(const uint8_t* bytes, int length) override;
  int RecvChars(int interval_ms, int first_polls, int after_polls,
                int most) override;
  int RecvString(uint8_t* buffer, int count) override;
};

}  // namespace zep
