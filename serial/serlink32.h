/* serlink32: the serial port library of the UPS service.
 *
 * Sixteen exported functions on two numbered port slots (0 and 1), each slot
 * guarded by a lock of its own. Sizes, baud rates and counts are unsigned
 * 16-bit values (larger arguments are cut to their low 16 bits); any slot
 * number other than 0 or 1 is refused without touching any state.
 *
 * Windows: serlink32.dll exports these plain names at fixed ordinals (see
 * serlink32.def). POSIX: libserlink32.so offers the same C interface on
 * termios; "\\.\COMn" names map to /dev/ttyS(n-1), other names are opened as
 * they stand.
 */
#ifndef ZEP_SERIAL_SERLINK32_H_
#define ZEP_SERIAL_SERLINK32_H_

#include <stdint.h>

#if defined(_WIN32)
#define SERLINK_API __stdcall
#else
#define SERLINK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

void SERLINK_API Kbapi_COMClearBreak(uint32_t port);
void SERLINK_API Kbapi_COMFlushRxBuff(uint32_t port);
void SERLINK_API Kbapi_COMFlushTxBuff(uint32_t port);
int SERLINK_API Kbapi_COMGetCommEnable(uint32_t port);
/* Writes the library version "major.minor" into `text` (12 bytes or more). */
int SERLINK_API Kbapi_COMGetLibInfo(char* text);
int SERLINK_API Kbapi_COMGetModemStatus(uint32_t* status, uint32_t port);
/* One request and its reply: flush, send, wait until the reply goes quiet,
 * read it. `count` is in: most bytes to take; out: bytes received. */
int SERLINK_API Kbapi_COMMessageProcs(const uint8_t* send, uint16_t send_length,
                                      uint8_t* receive, uint16_t* count,
                                      uint16_t interval_ms, uint16_t first_polls,
                                      uint16_t after_polls, uint32_t port);
void SERLINK_API Kbapi_COMPortClose(uint32_t port);
int SERLINK_API Kbapi_COMPortOpen(const char* device, uint16_t baud, uint32_t port);
/* Waits until bytes have arrived and the line went quiet; returns the number
 * of bytes waiting, or -1 when the port status could never be read. */
int SERLINK_API Kbapi_COMRecvChars(uint16_t interval_ms, uint16_t first_polls,
                                   uint16_t after_polls, uint16_t most, uint32_t port);
int SERLINK_API Kbapi_COMRecvString(uint8_t* buffer, uint16_t count, uint32_t port);
int SERLINK_API Kbapi_COMSendString(const uint8_t* buffer, uint16_t length, uint32_t port);
/* The spelling of this export is part of the library's interface. */
void SERLINK_API Kbapi_COMSetBoudrate(uint16_t baud, uint32_t port);
void SERLINK_API Kbapi_COMSetBreak(uint32_t port);
int SERLINK_API Kbapi_COMSetDTR(int on, uint32_t port);
int SERLINK_API Kbapi_COMSetRTS(int on, uint32_t port);

#ifdef __cplusplus
}
#endif

#endif /* ZEP_SERIAL_SERLINK32_H_ */
