// The commands of the NUT network protocol that the service answers, as a
// table of rows with handlers, and the replies in the exact forms and with
// the error codes of the protocol. The server is read-only: commands that
// would change the UPS (SET, INSTCMD, FSD, PRIMARY, MASTER) are refused.
// Replies end in a line feed alone and hold printable ASCII only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "nut/nut_data.h"

namespace zep {

/// What the server is: its one UPS and the login it lets in.
struct NutIdentity {
  /// The UPS's name for the clients ("zep"); compared without regard to
  /// case, echoed as each client spells it.
  std::string ups_name = "zep";
  std::string ups_description = "ZEP UPS";
  /// The service's version text ("" when unknown).
  std::string version;
  /// The login of the computers that count as secondaries; an empty user
  /// lets nobody log in.
  std::string user;
  std::string password;
};

/// One client's state between its requests.
struct NutSession {
  std::string username;
  bool has_username = false;
  std::string password;
  bool has_password = false;
  bool logged_in = false;
};

/// The server's side of one request.
struct NutServerView {
  const NutIdentity* identity = nullptr;
  /// The UPS data of the moment, read when a request needs them.
  std::function<NutUpsData()> read_data;
  /// The addresses of the clients logged in now.
  std::function<std::vector<std::string>()> logged_in;
};

/// Handles one request line (`length` bytes, its line feed taken off) and
/// appends the reply lines to `*reply`. Returns true when the connection is
/// to be closed once the reply has gone out (after LOGOUT).
bool HandleNutRequest(const NutServerView& view, NutSession* session,
                      const char* line, size_t length, std::string* reply);

/// The reply to a request line longer than kNutMaxLineLength, after which
/// the server closes the connection.
constexpr char kNutTooLongReply[] = "ERR TOO-LONG\n";

}  // namespace zep
