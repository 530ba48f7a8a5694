#include "link/serlink_link.h"

#include "serlink32.h"

namespace zep {

namespace {

// The library takes sizes and counts as 16-bit values; anything larger is
// held at the top of that range rather than cut to its low bits.
uint16_t Clamp16(int value) {
  if (value <= 0) return 0;
  return value > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(value);
}

}  // namespace

void SerlinkLink::FlushTx() { Kbapi_COMFlushTxBuff(kPortSlot); }

void SerlinkLink::FlushRx() { Kbapi_COMFlushRxBuff(kPortSlot); }

int SerlinkLink::Send(const uint8_t* bytes, int length) {
  if (length < 0 || length > 0xFFFF) return 0;
  return Kbapi_COMSendString(bytes, static_cast<uint16_t>(length), kPortSlot);
}

int SerlinkLink::RecvChars(int interval_ms, int first_polls, int after_polls,
                           int most) {
  return Kbapi_COMRecvChars(Clamp16(interval_ms), Clamp16(first_polls),
                            Clamp16(after_polls), Clamp16(most), kPortSlot);
}

int SerlinkLink::RecvString(uint8_t* buffer, int count) {
  if (count < 0 || count > 0xFFFF) return -1;
  return Kbapi_COMRecvString(buffer, static_cast<uint16_t>(count), kPortSlot);
}

}  // namespace zep
