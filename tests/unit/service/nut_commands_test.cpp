// The NUT protocol's commands against replies written by hand from what
// upsc, upsmon, Home Assistant's library and WinNUT send and expect: one
// session of requests in order (each row's reply depends on the rows
// before it), the login rules, stale data, and the line reader's quoting,
// comments and refused bytes.
#include "nut/nut_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zep {
namespace {

struct Exchange {
  const char* request;
  const char* reply;
  bool close = false;
};

class NutCommandsTest : public ::testing::Test {
 protected:
  NutCommandsTest() {
    identity_.version = "1.1.0.2";
    identity_.user = "mon";
    identity_.password = "secret";
    data_.stale = false;
    data_.variables = {{"battery.charge", "100"}, {"ups.status", "OL"}};
    view_.identity = &identity_;
    view_.read_data = [this] { return data_; };
    view_.logged_in = [this] {
      return session_.logged_in ? std::vector<std::string>{"192.0.2.7"}
                                : std::vector<std::string>{};
    };
  }

  void Run(const std::vector<Exchange>& exchanges) {
    for (const Exchange& e : exchanges) {
      std::string reply;
      const std::string line = e.request;
      const bool close =
          HandleNutRequest(view_, &session_, line.data(), line.size(), &reply);
      EXPECT_EQ(e.reply, reply) << "request: " << e.request;
      EXPECT_EQ(e.close, close) << "request: " << e.request;
    }
  }

  NutIdentity identity_;
  NutUpsData data_;
  NutServerView view_;
  NutSession session_;
};

TEST_F(NutCommandsTest, OneSessionOfEveryClientsRequests) {
  Run({
      // upsc: STARTTLS first, then one command.
      {"STARTTLS", "ERR FEATURE-NOT-CONFIGURED\n"},
      {"LIST UPS", "BEGIN LIST UPS\nUPS zep \"ZEP UPS\"\nEND LIST UPS\n"},
      // The UPS name is echoed as the client spelled it.
      {"LIST VAR ZEP",
       "BEGIN LIST VAR ZEP\nVAR ZEP battery.charge \"100\"\n"
       "VAR ZEP ups.status \"OL\"\nEND LIST VAR ZEP\n"},
      {"GET VAR zep ups.status", "VAR zep ups.status \"OL\"\n"},
      {"GET VAR zep ups.temperature", "ERR VAR-NOT-SUPPORTED\n"},
      {"GET VAR bogus ups.status", "ERR UNKNOWN-UPS\n"},
      {"GET VAR zep", "ERR INVALID-ARGUMENT\n"},
      {"GET FOO zep", "ERR INVALID-ARGUMENT\n"},
      {"LIST", "ERR INVALID-ARGUMENT\n"},
      {"FOO", "ERR UNKNOWN-COMMAND\n"},
      // WinNUT's watchdog: an empty line, and CR CR before each line feed.
      {"", "ERR UNKNOWN-COMMAND\n"},
      {"NETVER\r\r", "1.3\n"},
      {"VER", "ZEP service 1.1.0.2\n"},
      // WinNUT asks for the description of every variable it lists.
      {"GET DESC zep battery.charge",
       "DESC zep battery.charge \"Battery charge (percent)\"\n"},
      {"GET DESC zep no.such.var",
       "DESC zep no.such.var \"Description unavailable\"\n"},
      {"GET UPSDESC zep", "UPSDESC zep \"ZEP UPS\"\n"},
      // Home Assistant asks for the commands once it has a login.
      {"LIST CMD zep", "BEGIN LIST CMD zep\nEND LIST CMD zep\n"},
      {"LIST RW zep", "BEGIN LIST RW zep\nEND LIST RW zep\n"},
      // Logins: the words first, then the UPS, then the credentials.
      {"LOGIN zep", "ERR USERNAME-REQUIRED\n"},
      {"FSD zep", "ERR USERNAME-REQUIRED\n"},
      {"USERNAME mon", "OK\n"},
      {"USERNAME other", "ERR ALREADY-SET-USERNAME\n"},
      {"LOGIN zep", "ERR PASSWORD-REQUIRED\n"},
      {"PASSWORD secret", "OK\n"},
      {"PASSWORD again", "ERR ALREADY-SET-PASSWORD\n"},
      // WinNUT's bare LOGIN.
      {"LOGIN", "ERR INVALID-ARGUMENT\n"},
      {"LOGIN nope", "ERR UNKNOWN-UPS\n"},
      {"GET NUMLOGINS zep", "NUMLOGINS zep 0\n"},
      {"LOGIN zep", "OK\n"},
      {"LOGIN zep", "ERR ALREADY-LOGGED-IN\n"},
      {"GET NUMLOGINS zep", "NUMLOGINS zep 1\n"},
      {"LIST CLIENT zep",
       "BEGIN LIST CLIENT zep\nCLIENT zep 192.0.2.7\nEND LIST CLIENT zep\n"},
      // Read-only, for a logged-in client too.
      {"SET VAR zep ups.status OB", "ERR ACCESS-DENIED\n"},
      {"INSTCMD zep beeper.off", "ERR ACCESS-DENIED\n"},
      {"FSD zep", "ERR ACCESS-DENIED\n"},
      {"PRIMARY zep", "ERR ACCESS-DENIED\n"},
      {"MASTER zep", "ERR ACCESS-DENIED\n"},
      {"LOGOUT", "OK Goodbye\n", true},
  });
}

TEST_F(NutCommandsTest, OnlyTheConfiguredLoginCounts) {
  struct Case {
    const char* user;  // configured
    const char* password;
    const char* username;  // sent
    const char* sent_password;
    const char* reply;
  };
  const Case cases[] = {
      {"mon", "secret", "mon", "secret", "OK\n"},
      {"mon", "secret", "mon", "Secret", "ERR ACCESS-DENIED\n"},
      {"mon", "secret", "monx", "secret", "ERR ACCESS-DENIED\n"},
      {"mon", "secret", "mon", "secre", "ERR ACCESS-DENIED\n"},
      // Without a configured login nobody gets in.
      {"", "", "", "", "ERR ACCESS-DENIED\n"},
  };
  for (const Case& c : cases) {
    identity_.user = c.user;
    identity_.password = c.password;
    session_ = NutSession();
    Run({{(std::string("USERNAME \"") + c.username + "\"").c_str(), "OK\n"},
         {(std::string("PASSWORD \"") + c.sent_password + "\"").c_str(),
          "OK\n"},
         {"LOGIN zep", c.reply}});
  }
}

TEST_F(NutCommandsTest, StaleDataAreRefusedButNamesAndDescriptionsAnswer) {
  data_.stale = true;
  Run({
      {"GET VAR zep ups.status", "ERR DATA-STALE\n"},
      {"LIST VAR zep", "ERR DATA-STALE\n"},
      {"LIST CMD zep", "ERR DATA-STALE\n"},
      {"LIST UPS", "BEGIN LIST UPS\nUPS zep \"ZEP UPS\"\nEND LIST UPS\n"},
      {"GET DESC zep ups.status", "DESC zep ups.status \"UPS status\"\n"},
      {"GET UPSDESC zep", "UPSDESC zep \"ZEP UPS\"\n"},
  });
  // The shutdown is told even without data from the UPS.
  data_.forced_shutdown = true;
  Run({
      {"GET VAR zep ups.status", "VAR zep ups.status \"FSD\"\n"},
      {"GET VAR zep battery.charge", "ERR DATA-STALE\n"},
  });
}

TEST_F(NutCommandsTest, LineReaderQuotesEscapesCommentsAndRefusedBytes) {
  Run({
      {"GET VAR \"zep\" ups.status", "VAR zep ups.status \"OL\"\n"},
      {"get\tvar zep  ups.status # a comment", "VAR zep ups.status \"OL\"\n"},
      {"GET VAR z\\ep ups.status", "VAR zep ups.status \"OL\"\n"},
      // A quoted "#", an open quote and a backslash at the end.
      {"GET DESC zep \"a#b\"", "ERR INVALID-ARGUMENT\n"},
      {"GET VAR \"zep ups.status", "ERR INVALID-ARGUMENT\n"},
      {"GET VAR zep ups.status\\", "ERR INVALID-ARGUMENT\n"},
      {"GET VAR zep ups.st\x01"
       "atus",
       "ERR INVALID-ARGUMENT\n"},
      {"GET VAR zep ups.st\xC3\xA4tus", "ERR INVALID-ARGUMENT\n"},
      // A word that is not a plain name is not echoed.
      {"GET DESC zep \"a b\"", "ERR INVALID-ARGUMENT\n"},
      {"GET VAR zep \"\"", "ERR VAR-NOT-SUPPORTED\n"},
  });
  std::string many = "LIST";
  for (int i = 0; i < 32; ++i) many += " x";
  Run({{many.c_str(), "ERR INVALID-ARGUMENT\n"}});
}

}  // namespace
}  // namespace zep
