// The search for the COM port and the line speed at which a UPS answers.
// Each attempt tries one port at one speed: it opens the port through the
// serial library (slot 0), then sends the probe "M\r" to the UPS I/O thread,
// which owns the exchange with the UPS and decides the protocol from the
// first answers, and judges what comes back. The monitor thread calls it
// until it succeeds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/monitor_link.h"

namespace zep {

struct ServiceContext;

/// The line speeds tried at each port, fastest first, and the end mark.
constexpr uint16_t kSearchSpeeds[] = {19200, 9600, 4800, 2400, 1200, 0};
constexpr int kSearchSpeedCount = 5;

/// The serial library's port slot the service owns.
constexpr uint32_t kUpsPortSlot = 0;

/// Highest COM number searched when ZEP_MAX_PORT does not say, and the
/// most it may say.
constexpr int kDefaultMaxPort = 10;
constexpr int kMostMaxPort = 256;

/// The answer time-out the monitor thread gives each probe.
constexpr int kProbeAnswerTimeoutMs = 1100;

/// Where the search stands, kept from one attempt to the next for the whole
/// run. Used by the monitor thread only.
struct PortSearch {
  /// The COM number tried, 1 up to the port count.
  int com_number = 1;
  /// Index into kSearchSpeeds.
  int speed_index = 0;
  /// The device name of a COM number; empty: "\\.\COM%d" (which the serial
  /// library maps to /dev/ttyS(n-1) on POSIX). Tests point COM numbers at
  /// terminals of their own here.
  std::function<std::string(int com_number)> device_name;
  /// The device and speed of the last attempt that found a UPS.
  std::string found_device;
  int found_speed = 0;
  /// A ZEP_PORT value refused as too long, so that it is reported once.
  std::string refused_port;
};

/// The device name the search opens for `com_number`.
std::string SearchDeviceName(const PortSearch& search, int com_number);

/// The highest COM number searched: ZEP_MAX_PORT, 10 when it is not set or
/// below 1, at most 256.
int MaxSearchPort();

/// The COM number a device name stands for: n for "\\.\COMn" or "COMn"
/// (any letter case), k + 1 for "/dev/ttySk"; `fallback` for any other
/// name (a USB adapter or a terminal has no COM number).
int ComNumberOfDevice(const std::string& device, int fallback);

/// One attempt on the context's search record: returns 1 when a UPS answered
/// (the port stays open at the speed found, the UPS state holds the protocol
/// mode, and the "Port" status record has been made), 0 when this attempt found
/// nothing, -1 when a receive on the link failed (and for a context without a
/// search record or UPS state).
///
/// ZEP_PORT, when set, names the one device tried (at the five speeds in
/// turn); otherwise COM1 up to the port count are tried, each at the five
/// speeds. A ZEP_PORT longer than 63 characters is refused, not cut (a cut
/// name could open another device): reported once, then every attempt
/// finds nothing until the setting is mended. A port that cannot be opened is
/// left at once and costs a drain of the link (500 ms), which also paces the
/// search.
int FindUpsPort(ServiceContext& context, MonitorLink* link,
                int answer_timeout_ms);

/// Closes the port the search found and opens the same device again at the
/// same speed, with the line prepared as the search prepares it. Returns 1
/// when it opened, 0 when it did not (or nothing was found yet); the port
/// is then closed and the next reopen tries again.
int ReopenFoundPort(ServiceContext& context);

}  // namespace zep
