#include "link/port_search.h"

#include "config.h"
#include "events/status_records.h"
#include "process.h"
#include "protocol/ups_state.h"
#include "serlink32.h"
#include "service_context.h"
#include "text_format.h"
#include "trace.h"

namespace zep {
namespace {

// Draining after a port that would not open; it also paces the search.
constexpr int kOpenErrorDrainMs = 500;
// Draining before a probe, and after an "NG" answer.
constexpr int kProbeDrainMs = 100;
constexpr int kMostProbes = 2;
constexpr char kProbe[] = "M\r";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number that makes up the whole of `text` (1 to 6 digits);
// -1 otherwise.
int WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 6) return -1;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

// Moves on to the next COM number, back to 1 after the port count.
void NextComNumber(PortSearch* search, int port_count) {
  ++search->com_number;
  if (search->com_number > port_count || search->com_number < 1) {
    search->com_number = 1;
  }
}

// The probes of one attempt: 1 found, 0 nothing, -1 a failed receive.
int Probe(ServiceContext& context, MonitorLink* link, int answer_timeout_ms) {
  char answer[kLinkTextSize];
  for (int probe = 0; probe < kMostProbes; ++probe) {
    SendToUpsIo(link, kProbe, sizeof kProbe - 1);
    int received = ReceiveAnswer(link, answer, answer_timeout_ms);
    if (received < 0) return -1;
    if (received == 0 || answer[received - 1] != '\r') return 0;
    if (received > 2 && IsRefusal(answer, received)) {
      // A text UPS refusing what the I/O thread made of the probe; what
      // else it may still send goes before the next probe.
      if (DrainEndpoint(&link->endpoint, kProbeDrainMs) < 0) return -1;
      continue;
    }
    if (CurrentProtocolMode(context) >= 0) return 1;
  }
  return 0;
}

// The line as the probes and polls expect it: no break, RTS on, both
// queues empty.
void PrepareLine() {
  Kbapi_COMClearBreak(kUpsPortSlot);
  Kbapi_COMSetRTS(1, kUpsPortSlot);
  Kbapi_COMFlushTxBuff(kUpsPortSlot);
  Kbapi_COMFlushRxBuff(kUpsPortSlot);
}

}  // namespace

std::string SearchDeviceName(const PortSearch& search, int com_number) {
  if (search.device_name) return search.device_name(com_number);
  return FormatText("\\\\.\\COM%d", com_number);
}

int MaxSearchPort() {
  int value = GetConfigInt("ZEP_MAX_PORT");
  if (value < 1) return kDefaultMaxPort;
  return value > kMostMaxPort ? kMostMaxPort : value;
}

int ComNumberOfDevice(const std::string& device, int fallback) {
  std::string name = device;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  if (name.size() > 3 && Upper(name[0]) == 'C' && Upper(name[1]) == 'O' &&
      Upper(name[2]) == 'M') {
    int number = WholeNumber(name.substr(3));
    if (number >= 1) return number;
  }
  const std::string tty = "/dev/ttyS";
  if (name.compare(0, tty.size(), tty) == 0) {
    int number = WholeNumber(name.substr(tty.size()));
    if (number >= 0) return number + 1;
  }
  return fallback;
}

int FindUpsPort(ServiceContext& context, MonitorLink* link,
                int answer_timeout_ms) {
  PortSearch* search = context.port_search;
  if (search == nullptr || context.ups_state == nullptr || link == nullptr) {
    return -1;
  }
  Kbapi_COMPortClose(kUpsPortSlot);
  if (search->speed_index < 0 || search->speed_index >= kSearchSpeedCount) {
    search->speed_index = 0;
  }

  char configured[kConfigValueSize];
  bool pinned = GetConfigText(configured, "ZEP_PORT") > 0;
  if (pinned &&
      ConfigTextLength("ZEP_PORT") >= static_cast<int>(sizeof configured)) {
    std::string value;
    GetEnvironmentValue("ZEP_PORT", &value);
    if (value != search->refused_port) {
      search->refused_port = value;
      ReportProblem(
          context, "ZEP_PORT",
          FormatText("longer than %d characters, not used: %s",
                     static_cast<int>(sizeof configured) - 1, value.c_str()));
    }
    int drained = DrainEndpoint(&link->endpoint, kOpenErrorDrainMs);
    return drained < 0 ? -1 : 0;
  }
  search->refused_port.clear();
  int port_count = pinned ? 1 : MaxSearchPort();
  std::string device = pinned ? std::string(configured)
                              : SearchDeviceName(*search, search->com_number);
  Trace(device);

  int speed = kSearchSpeeds[search->speed_index];
  if (Kbapi_COMPortOpen(device.c_str(), static_cast<uint16_t>(speed),
                        kUpsPortSlot) != 1) {
    int drained = DrainEndpoint(&link->endpoint, kOpenErrorDrainMs);
    Trace(" Open Error\n");
    search->speed_index = 0;
    if (port_count > 1) NextComNumber(search, port_count);
    return drained < 0 ? -1 : 0;
  }

  TraceFormat(" %ibps --> ", speed);
  PrepareLine();
  // A new port: the protocol is found out again from the first answers.
  ResetUpsState(*context.ups_state);
  if (DrainEndpoint(&link->endpoint, kProbeDrainMs) < 0) return -1;

  int found = Probe(context, link, answer_timeout_ms);
  if (found < 0) return -1;
  if (found == 1) {
    search->found_device = device;
    search->found_speed = speed;
    int com_number = pinned ? ComNumberOfDevice(device, search->com_number)
                            : search->com_number;
    if (context.launcher != nullptr) {
      PortRecord(*context.launcher, com_number, speed);
    }
    return 1;
  }

  ++search->speed_index;
  if (port_count > 1 && search->speed_index >= kSearchSpeedCount) {
    NextComNumber(search, port_count);
  }
  return 0;
}

int ReopenFoundPort(ServiceContext& context) {
  PortSearch* search = context.port_search;
  if (search == nullptr || search->found_device.empty()) return 0;
  // Opening a slot that is open closes its old handle first.
  if (Kbapi_COMPortOpen(search->found_device.c_str(),
                        static_cast<uint16_t>(search->found_speed),
                        kUpsPortSlot) != 1) {
    Kbapi_COMPortClose(kUpsPortSlot);
    TraceFormat("%s: the UPS is silent; reopening failed\n",
                search->found_device.c_str());
    return 0;
  }
  PrepareLine();
  TraceFormat("%s: the UPS is silent; reopened at %dbps\n",
              search->found_device.c_str(), search->found_speed);
  return 1;
}

}  // namespace zep
