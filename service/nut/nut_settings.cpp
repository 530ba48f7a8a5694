#include "nut/nut_settings.h"

#include <cstdlib>
#include <cstring>

#include "config.h"
#include "nut/nut_words.h"
#include "process.h"

namespace zep {
namespace {

constexpr size_t kMostUpsNameLength = 31;
constexpr size_t kMostLoginLength = 63;

bool ReadText(const NutSettingLookup& lookup, const char* section,
              const char* key, std::string* value) {
  value->clear();
  return lookup(section, key, value) && !value->empty();
}

// The leading decimal number of a setting, as GetConfigInt reads one;
// false when there is none.
bool ReadNumber(const NutSettingLookup& lookup, const char* key, long* number) {
  std::string text;
  if (!ReadText(lookup, kConfigSection, key, &text)) return false;
  char* end = nullptr;
  *number = std::strtol(text.c_str(), &end, 10);
  return end != text.c_str();
}

bool ValidUpsName(const std::string& name) {
  if (name.empty() || name.size() > kMostUpsNameLength) return false;
  for (char c : name) {
    if (!IsNutNameCharacter(c)) return false;
  }
  return true;
}

// Logins are single words of printable ASCII (the clients send them
// unquoted).
bool ValidLogin(const std::string& text) {
  if (text.size() > kMostLoginLength) return false;
  for (unsigned char c : text) {
    if (c <= 0x20 || c > 0x7E) return false;
  }
  return true;
}

std::vector<std::string> SplitAddresses(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) out.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

}  // namespace

NutSettings ParseNutSettings(const NutSettingLookup& lookup) {
  NutSettings s;
  std::string text;
  if (ReadText(lookup, kConfigSection, "ZEP_NUT_LISTEN", &text)) {
    s.listen = SplitAddresses(text);
    if (s.listen.size() > kNutMostListenAddresses) {
      s.complaints.push_back("ZEP_NUT_LISTEN: only the first 4 addresses");
      s.listen.resize(kNutMostListenAddresses);
    }
  }
  long number = 0;
  if (ReadNumber(lookup, "ZEP_NUT_PORT", &number)) {
    if (number >= 1 && number <= 65535) {
      s.port = static_cast<int>(number);
    } else {
      s.complaints.push_back("ZEP_NUT_PORT: not a port; 3493 is used");
    }
  }
  if (ReadText(lookup, kConfigSection, "ZEP_NUT_UPS", &text)) {
    if (ValidUpsName(text)) {
      s.identity.ups_name = text;
    } else {
      s.complaints.push_back("ZEP_NUT_UPS: not a UPS name; zep is used");
    }
  }
  std::string user;
  std::string password;
  ReadText(lookup, kConfigSection, "ZEP_NUT_USER", &user);
  ReadText(lookup, kConfigSection, "ZEP_NUT_PASSWORD", &password);
  // A user without a password would let in anyone who knows the name.
  if (!user.empty() && !password.empty() && ValidLogin(user) &&
      ValidLogin(password)) {
    s.identity.user = user;
    s.identity.password = password;
  } else if (!user.empty() || !password.empty()) {
    s.complaints.push_back(
        "ZEP_NUT_USER/ZEP_NUT_PASSWORD: both are needed, each one word; "
        "nobody can log in");
  }
  if (ReadNumber(lookup, "ZEP_NUT_HOSTSYNC", &number)) {
    s.host_sync_seconds = number < 0 ? 0
                          : number > kNutMostHostSync
                              ? kNutMostHostSync
                              : static_cast<int>(number);
  }
  // The version goes out in replies: one word of printable ASCII only.
  if (ReadText(lookup, kProductSection, "ZEP_VERSION", &text) &&
      ValidLogin(text) && text.find_first_of("\"#") == std::string::npos) {
    s.identity.version = text;
  }
  return s;
}

NutSettings ReadNutSettings() {
  return ParseNutSettings(
      [](const char* section, const char* key, std::string* value) {
        char entry[kConfigEntrySize] = {};
        if (ReadConfigEntry(entry, kConfigFileName, section, key) > 0) {
          const char* equals = std::strchr(entry, '=');
          *value = equals != nullptr ? equals + 1 : "";
          return true;
        }
        return GetEnvironmentValue(key, value);
      });
}

}  // namespace zep
