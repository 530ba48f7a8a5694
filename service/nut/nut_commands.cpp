#include "nut/nut_commands.h"

#include "nut/nut_words.h"
#include "text_format.h"

namespace zep {
namespace {

// What the service answers to VER and NETVER: a text of its own (clients
// only read a version out of a reply that begins with "Network"), and the
// protocol version whose commands it knows.
constexpr char kServerName[] = "ZEP service";
constexpr char kProtocolVersion[] = "1.3";
constexpr char kHelpText[] =
    "Commands: HELP VER GET LIST SET INSTCMD LOGIN LOGOUT USERNAME PASSWORD "
    "STARTTLS";
constexpr char kNoDescription[] = "Description unavailable";

struct NutRequest {
  const NutServerView& view;
  NutSession* session;
  /// The words after the command's own one or two.
  std::vector<std::string> args;
  std::string* reply;
  bool close = false;
};

// Compares the whole of both texts, whatever their lengths, so that the
// time taken tells nothing of where they differ.
bool SameSecret(const std::string& a, const std::string& b) {
  unsigned char differ = a.size() == b.size() ? 0 : 1;
  const size_t n = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    differ = static_cast<unsigned char>(differ | (x ^ y));
  }
  return differ == 0;
}

// A word echoed back in a reply must not change the reply's form: only
// the characters of variable and UPS names.
bool PlainWord(const std::string& word) {
  if (word.empty() || word.size() > 64) return false;
  for (char c : word) {
    if (!IsNutNameCharacter(c)) return false;
  }
  return true;
}

void Line(NutRequest& r, const std::string& text) {
  *r.reply += text;
  *r.reply += '\n';
}

void Error(NutRequest& r, const char* code) {
  Line(r, std::string("ERR ") + code);
}

bool OurUps(const NutRequest& r, const std::string& name) {
  return SameNutWord(name, r.view.identity->ups_name.c_str());
}

bool ArgumentCount(NutRequest& r, size_t count) {
  if (r.args.size() == count) return true;
  Error(r, "INVALID-ARGUMENT");
  return false;
}

// The UPS named in the first argument is ours; otherwise the error is
// given.
bool KnownUps(NutRequest& r, size_t count) {
  if (!ArgumentCount(r, count)) return false;
  if (OurUps(r, r.args[0])) return true;
  Error(r, "UNKNOWN-UPS");
  return false;
}

// The data, unless they are stale (then the error is given).
bool FreshData(NutRequest& r, NutUpsData* data) {
  *data = r.view.read_data();
  if (!data->stale) return true;
  Error(r, "DATA-STALE");
  return false;
}

void List(NutRequest& r, const std::string& query,
          const std::vector<std::string>& items) {
  Line(r, "BEGIN LIST " + query);
  for (const std::string& item : items) Line(r, item);
  Line(r, "END LIST " + query);
}

// One variable as GET VAR and LIST VAR give it.
std::string VarLine(const std::string& ups, const std::string& name,
                    const std::string& value) {
  return "VAR " + ups + " " + name + " \"" + value + "\"";
}

void GetVar(NutRequest& r) {
  if (!KnownUps(r, 2)) return;
  const std::string& ups = r.args[0];
  const std::string& name = r.args[1];
  NutUpsData data = r.view.read_data();
  if (data.stale) {
    // Other computers must hear of the shutdown even when this one has
    // lost its UPS: the UPS may still get the switch-off command.
    if (data.forced_shutdown && SameNutWord(name, "ups.status")) {
      Line(r, VarLine(ups, name, "FSD"));
    } else {
      Error(r, "DATA-STALE");
    }
    return;
  }
  const NutVariable* v = FindNutVariable(data, name);
  if (v == nullptr) {
    Error(r, "VAR-NOT-SUPPORTED");
    return;
  }
  Line(r, VarLine(ups, name, v->value));
}

void GetDesc(NutRequest& r) {
  if (!KnownUps(r, 2)) return;
  const std::string& name = r.args[1];
  const char* description = NutVariableDescription(name);
  if (description == nullptr && !PlainWord(name)) {
    Error(r, "INVALID-ARGUMENT");
    return;
  }
  Line(r, "DESC " + r.args[0] + " " + name + " \"" +
              (description != nullptr ? description : kNoDescription) + "\"");
}

void GetUpsDesc(NutRequest& r) {
  if (!KnownUps(r, 1)) return;
  Line(r, "UPSDESC " + r.args[0] + " \"" + r.view.identity->ups_description +
              "\"");
}

void GetNumLogins(NutRequest& r) {
  if (!KnownUps(r, 1)) return;
  Line(r, FormatText("NUMLOGINS %s %d", r.args[0].c_str(),
                     static_cast<int>(r.view.logged_in().size())));
}

void ListUps(NutRequest& r) {
  if (!ArgumentCount(r, 0)) return;
  List(r, "UPS",
       {"UPS " + r.view.identity->ups_name + " \"" +
        r.view.identity->ups_description + "\""});
}

void ListVar(NutRequest& r) {
  if (!KnownUps(r, 1)) return;
  NutUpsData data;
  if (!FreshData(r, &data)) return;
  const std::string& ups = r.args[0];
  std::vector<std::string> items;
  for (const NutVariable& v : data.variables) {
    items.push_back(VarLine(ups, v.name, v.value));
  }
  List(r, "VAR " + ups, items);
}

// Read-only: nothing can be written and no command can be given.
void ListRw(NutRequest& r) {
  if (!KnownUps(r, 1)) return;
  NutUpsData data;
  if (!FreshData(r, &data)) return;
  List(r, "RW " + r.args[0], {});
}

void ListCmd(NutRequest& r) {
  if (!KnownUps(r, 1)) return;
  NutUpsData data;
  if (!FreshData(r, &data)) return;
  List(r, "CMD " + r.args[0], {});
}

void ListClient(NutRequest& r) {
  if (!KnownUps(r, 1)) return;
  const std::string& ups = r.args[0];
  std::vector<std::string> items;
  for (const std::string& address : r.view.logged_in()) {
    items.push_back("CLIENT " + ups + " " + address);
  }
  List(r, "CLIENT " + ups, items);
}

// USERNAME and PASSWORD: each word is taken once per connection.
void SetWordOnce(NutRequest& r, std::string* word, bool* has_word,
                 const char* already_set) {
  if (!ArgumentCount(r, 1)) return;
  if (*has_word) {
    Error(r, already_set);
    return;
  }
  *word = r.args[0];
  *has_word = true;
  Line(r, "OK");
}

void Username(NutRequest& r) {
  SetWordOnce(r, &r.session->username, &r.session->has_username,
              "ALREADY-SET-USERNAME");
}

// Checked only at LOGIN, as by the protocol's own server.
void Password(NutRequest& r) {
  SetWordOnce(r, &r.session->password, &r.session->has_password,
              "ALREADY-SET-PASSWORD");
}

// Commands for logged-on users need both words given before anything
// else is looked at.
bool Authenticated(NutRequest& r) {
  if (!r.session->has_username) {
    Error(r, "USERNAME-REQUIRED");
    return false;
  }
  if (!r.session->has_password) {
    Error(r, "PASSWORD-REQUIRED");
    return false;
  }
  return true;
}

void Login(NutRequest& r) {
  if (!Authenticated(r) || !ArgumentCount(r, 1)) return;
  NutSession& s = *r.session;
  if (s.logged_in) {
    Error(r, "ALREADY-LOGGED-IN");
    return;
  }
  if (!OurUps(r, r.args[0])) {
    Error(r, "UNKNOWN-UPS");
    return;
  }
  const NutIdentity& id = *r.view.identity;
  // Both checked in full, whichever fails.
  const bool user_ok = !id.user.empty() && SameSecret(s.username, id.user);
  const bool password_ok = SameSecret(s.password, id.password);
  if (!user_ok || !password_ok) {
    Error(r, "ACCESS-DENIED");
    return;
  }
  s.logged_in = true;
  Line(r, "OK");
}

void Logout(NutRequest& r) {
  Line(r, "OK Goodbye");
  r.close = true;
}

// SET, INSTCMD, FSD, PRIMARY and MASTER would change the UPS or make the
// client its manager; this server lets nobody do either.
void Refuse(NutRequest& r) {
  if (!Authenticated(r)) return;
  Error(r, "ACCESS-DENIED");
}

void Ver(NutRequest& r) {
  const std::string& version = r.view.identity->version;
  Line(r, version.empty() ? kServerName
                          : std::string(kServerName) + " " + version);
}

void NetVer(NutRequest& r) { Line(r, kProtocolVersion); }

void Help(NutRequest& r) { Line(r, kHelpText); }

// No TLS: clients that try it go on in plain text.
void StartTls(NutRequest& r) { Error(r, "FEATURE-NOT-CONFIGURED"); }

// One row per command; GET and LIST take a second word that picks the
// row.
struct NutCommandRow {
  const char* word;
  const char* subword;
  void (*handle)(NutRequest& request);
};

// clang-format off
constexpr NutCommandRow kCommandRows[] = {
    {"GET",      "VAR",       GetVar},
    {"GET",      "DESC",      GetDesc},
    {"GET",      "UPSDESC",   GetUpsDesc},
    {"GET",      "NUMLOGINS", GetNumLogins},
    {"LIST",     "UPS",       ListUps},
    {"LIST",     "VAR",       ListVar},
    {"LIST",     "RW",        ListRw},
    {"LIST",     "CMD",       ListCmd},
    {"LIST",     "CLIENT",    ListClient},
    {"USERNAME", nullptr,     Username},
    {"PASSWORD", nullptr,     Password},
    {"LOGIN",    nullptr,     Login},
    {"LOGOUT",   nullptr,     Logout},
    {"VER",      nullptr,     Ver},
    {"NETVER",   nullptr,     NetVer},
    {"PROTVER",  nullptr,     NetVer},
    {"HELP",     nullptr,     Help},
    {"STARTTLS", nullptr,     StartTls},
    {"SET",      nullptr,     Refuse},
    {"INSTCMD",  nullptr,     Refuse},
    {"FSD",      nullptr,     Refuse},
    {"PRIMARY",  nullptr,     Refuse},
    {"MASTER",   nullptr,     Refuse},
};
// clang-format on

// The row for the words, or null; `*taken` is how many words name it.
// Sets `*family` when the first word is known but the second is not.
const NutCommandRow* FindRow(const std::vector<std::string>& words,
                             size_t* taken, bool* family) {
  *family = false;
  for (const NutCommandRow& row : kCommandRows) {
    if (!SameNutWord(words[0], row.word)) continue;
    if (row.subword == nullptr) {
      *taken = 1;
      return &row;
    }
    *family = true;
    if (words.size() > 1 && SameNutWord(words[1], row.subword)) {
      *taken = 2;
      return &row;
    }
  }
  return nullptr;
}

}  // namespace

bool HandleNutRequest(const NutServerView& view, NutSession* session,
                      const char* line, size_t length, std::string* reply) {
  std::vector<std::string> words;
  switch (SplitNutLine(line, length, &words)) {
    case NutLineStatus::kWords:
      break;
    case NutLineStatus::kBadCharacter:
    case NutLineStatus::kBadQuoting:
    case NutLineStatus::kTooManyWords:
      *reply += "ERR INVALID-ARGUMENT\n";
      return false;
  }
  if (words.empty()) {
    *reply += "ERR UNKNOWN-COMMAND\n";
    return false;
  }
  size_t taken = 0;
  bool family = false;
  const NutCommandRow* row = FindRow(words, &taken, &family);
  if (row == nullptr) {
    *reply += family ? "ERR INVALID-ARGUMENT\n" : "ERR UNKNOWN-COMMAND\n";
    return false;
  }
  NutRequest request{
      view, session,
      std::vector<std::string>(words.begin() + taken, words.end()), reply};
  row->handle(request);
  return request.close;
}

}  // namespace zep
