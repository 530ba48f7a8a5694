// Settings from ZEP.conf. The loaders read every key they know from the file
// and put each one found into the process environment as "KEY=value"; the
// rest of the program reads settings back through GetConfigText and
// GetConfigInt. Keeping them in the environment is deliberate: every batch
// file the service starts inherits them.
//
// ZEP.conf is plain 8-bit text: "[CONFIG]" and "[PRODUCT]" section headers,
// "KEY=value" lines, ";" comments. The key starts at the first non-blank
// character; the setting ends at the first blank or ";" after it. A key is
// searched from its section header to the end of the file (later sections
// included); the first occurrence wins. Names compare case-sensitively.
#pragma once

#include <cstddef>
#include <string>

namespace zep {

/// The configuration file, found in the executable's directory.
constexpr char kConfigFileName[] = "ZEP.conf";
constexpr char kConfigSection[] = "CONFIG";
constexpr char kProductSection[] = "PRODUCT";

/// Size of the buffer for a setting text read from the file ("KEY=value"):
/// one line piece of at most 260 characters and a terminator.
constexpr size_t kConfigEntrySize = 261;

/// Size of the buffer GetConfigText fills (63 characters and a terminator).
constexpr size_t kConfigValueSize = 64;

/// The code page and language facts of the computer that decide the
/// default message language.
struct CodePageFacts {
  /// The ANSI code page (932 is Japanese).
  int ansi_code_page = 0;
  /// Whether code page 932 can be used on this computer.
  bool japanese_code_page_available = false;
  /// The user's interface language identifier (primary language in the low
  /// 10 bits, 0x11 for Japanese).
  int ui_language = 0;
};

/// The facts of the running computer.
CodePageFacts CurrentCodePageFacts();

/// Looks up `key` in `section` of the file at `path`. Returns -1 when an
/// argument is missing or empty or the file cannot be opened (a path longer
/// than 259 characters counts as unopenable), 0 when the key is not found,
/// otherwise the length of the setting text ("KEY=value", cut at the first
/// blank or ";" after the key's start) copied literally to `out`. `out`
/// holds at least kConfigEntrySize bytes, or is null to learn the length.
int ReadConfigEntryAt(char* out, const char* path, const char* section,
                      const char* key);

/// ReadConfigEntryAt on the bare `file_name` in the executable's directory.
/// Returns -1 also when that directory cannot be learned or the path formed
/// does not fit in 259 characters.
int ReadConfigEntry(char* out, const char* file_name, const char* section,
                    const char* key);

/// What is wrong with the configuration file at `path`, for a line of its
/// own in the trace and the status records: that it cannot be opened (and
/// why), that it has no [CONFIG] section (anything else is not the settings
/// file it should be), and the first line longer than 260 characters, whose
/// rest is ignored. Empty when nothing is wrong.
std::string CheckConfigFile(const std::string& path);

/// The service's loader on the configuration file at `path`. A full load
/// (start-up, and while the UPS protocol is still unknown) also reads the
/// port settings, writes the defaults of ZEP_UPS_DELAY (2),
/// ZEP_UPS_RESTART (1) and ZEP_EXEC_WAIT (5) for keys the file lacks, and
/// sets ZEP_LANG from the code page even when it is already set. A refresh
/// only puts what the file holds. Returns CheckConfigFile of the file.
std::string LoadServiceConfigurationFrom(const std::string& path, bool full,
                                         const CodePageFacts& facts);

/// LoadServiceConfigurationFrom on ZEP.conf in the executable's directory
/// with the facts of the running computer.
std::string LoadServiceConfiguration(bool full);

/// The tray program's loader on the configuration file at `path`: the
/// version ("Unknown" when absent), ZEP_LANG when the environment does not
/// have it yet, ZEP_POPUP (default 1) and ZEP_GUI_CYCLE (default 5000).
/// Returns CheckConfigFile of the file.
std::string LoadTrayConfigurationFrom(const std::string& path,
                                      const CodePageFacts& facts);

/// LoadTrayConfigurationFrom on ZEP.conf in the executable's directory with
/// the facts of the running computer.
std::string LoadTrayConfiguration();

/// Copies the setting's value into `out` (kConfigValueSize bytes): at most
/// 63 characters, always terminated, the rest of the buffer zero. Returns
/// the length copied, or -1 when `out` or `key` is missing or the setting
/// is not set.
int GetConfigText(char* out, const char* key);

/// The whole length of the setting's value, which GetConfigText cuts at 63
/// characters; -1 when it is not set. Lets a caller refuse a value too long
/// to use rather than use it cut.
int ConfigTextLength(const char* key);

/// The leading decimal integer of the setting's value ("%d" rules). Returns
/// -1 when the setting is not set or its value does not begin with a
/// number.
int GetConfigInt(const char* key);

}  // namespace zep
