// Fuzz target: what a network client sends the NUT protocol server, split
// into lines and handled as the server does (a line longer than the limit
// ends the connection), one session across all of them, against UPS data
// read from records that the input's first byte sets up.
//
// Input: byte 0: bit 0 stale data, bit 1 the shutdown begun, bit 2 a login
// configured, bits 3-7 events on (mains failure, battery low, overload,
// fault, test); then the bytes of the connection.
//
// Beyond the sanitizers it checks that every request gets a reply, that
// replies are lines of printable ASCII ending in a line feed alone and
// shorter than the clients' 512-byte buffers, that every BEGIN LIST has
// its END LIST with the same words, and that nothing is handled after a
// LOGOUT.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "events/meter_values.h"
#include "fuzz_check.h"
#include "message_files.h"
#include "nut/nut_commands.h"
#include "nut/nut_words.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "service_context.h"

namespace zep {
namespace {

struct Records {
  Records() {
    messages = new MessageTables();
    SetInfoString(&messages->info_strings, 0, "T-PWR15J1");
    SetInfoString(&messages->info_strings, 7, "100");
    meter.tags[192].value.store(101.0f);
    meter.tags[192].present.store(1);
    context.events = &events;
    context.meter_values = &meter;
    context.messages = messages;
    context.ups_state = &state;
  }
  ActiveEventTable events;
  MeterValueTable meter;
  MessageTables* messages;
  UpsState state;
  ServiceContext context;
};

Records& TheRecords() {
  static Records* records = new Records();
  return *records;
}

void CheckReply(const std::string& reply) {
  Check(!reply.empty() && reply.back() == '\n', "a reply ends in a line feed");
  std::vector<std::string> open;
  size_t start = 0;
  while (start < reply.size()) {
    const size_t end = reply.find('\n', start);
    const std::string line = reply.substr(start, end - start);
    Check(line.size() < 512, "a reply line fits the clients' buffer");
    for (unsigned char c : line) {
      Check(c >= 0x20 && c <= 0x7E, "replies are printable ASCII");
    }
    if (line.rfind("BEGIN LIST ", 0) == 0) open.push_back(line.substr(6));
    if (line.rfind("END LIST ", 0) == 0) {
      Check(!open.empty() && open.back() == line.substr(4),
            "END LIST repeats its BEGIN LIST");
      open.pop_back();
    }
    start = end + 1;
  }
  Check(open.empty(), "every BEGIN LIST ends");
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  if (size == 0) return 0;
  Records& records = TheRecords();
  const uint8_t flags = data[0];
  const int codes[] = {3368, 2177, 3200, 3080, 2176};
  for (int i = 0; i < 5; ++i) {
    if ((flags >> (3 + i)) & 1) {
      SetActiveEvent(records.events, codes[i], 2, 1700000000);
    } else {
      ClearActiveEvent(records.events, codes[i], 1700000000);
    }
  }
  NutIdentity identity;
  identity.version = "1.1.0.2";
  if (flags & 4) {
    identity.user = "mon";
    identity.password = "secret";
  }
  NutServerView view;
  view.identity = &identity;
  view.read_data = [&] {
    return ReadNutUpsData(records.context, identity.version, (flags & 1) != 0,
                          (flags & 2) != 0);
  };
  NutSession session;
  view.logged_in = [&] {
    return session.logged_in ? std::vector<std::string>{"127.0.0.1"}
                             : std::vector<std::string>{};
  };

  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    const size_t length =
        (end == std::string::npos ? input.size() : end) - start;
    if (length > kNutMaxLineLength || end == std::string::npos) break;
    std::string reply;
    const bool close =
        HandleNutRequest(view, &session, input.data() + start, length, &reply);
    CheckReply(reply);
    if (close) {
      Check(reply == "OK Goodbye\n", "only LOGOUT closes");
      break;
    }
    start = end + 1;
  }
  return 0;
}
