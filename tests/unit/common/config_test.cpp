// ZEP.conf reading and the two loaders. Expected setting texts are written
// out by hand from the file contents of each case.

#include "config.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "scratch_files.h"

namespace zep {
namespace {

using Settings = std::vector<std::pair<const char*, const char*>>;

CodePageFacts Japanese() { return CodePageFacts{932, true, 0x0411}; }
CodePageFacts Western() { return CodePageFacts{1252, true, 0x0409}; }

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  std::string WriteConf(const std::string& text) {
    return dir_.Write("ZEP.conf", text);
  }

  // The setting text found for `key`, or "<result N>" when none was copied.
  std::string Entry(const std::string& path, const char* section,
                    const char* key) {
    char out[kConfigEntrySize];
    std::memset(out, '#', sizeof out);
    int n = ReadConfigEntryAt(out, path.c_str(), section, key);
    if (n <= 0) return "<result " + std::to_string(n) + ">";
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(out));
    return out;
  }

  // Each key's environment value; "<unset>" for none.
  void ExpectSettings(const Settings& expected) {
    for (const auto& [key, value] : expected) {
      EXPECT_EQ(value, EnvOrUnset(key)) << key;
    }
  }

  void SetLang(const char* value) {
    PutEnvironmentText(
        (std::string("ZEP_LANG=") + (value ? value : "")).c_str());
  }

  ScratchDir dir_;
  EnvironmentGuard env_{
      {"ZEP_VERSION", "ZEP_LANG", "ZEP_UPS_DELAY", "ZEP_UPS_RESTART",
       "ZEP_PORT", "ZEP_MAX_PORT", "ZEP_FIXED_FLAG", "ZEP_METER_CYCLE",
       "ZEP_AWAY_MODE", "ZEP_MON_CYCLE", "ZEP_EXEC_WAIT", "ZEP_PF_WAIT",
       "ZEP_LB_WAIT", "ZEP_POPUP", "ZEP_GUI_CYCLE", "ZEP_TEST_VALUE"}};
};

TEST_F(ConfigTest, HeadersSettingsAndComments) {
  const struct {
    const char* file;
    const char* key;
    const char* expected;
  } cases[] = {
      // Blanks before "[" and before "]" do not matter; after "[" they make
      // another name, as does case. The name runs to the last "]".
      {"   [CONFIG   ]\nZEP_A=1\n", "ZEP_A", "ZEP_A=1"},
      {"[ CONFIG]\nZEP_A=1\n", "ZEP_A", "<result 0>"},
      {"[config]\nZEP_A=1\n", "ZEP_A", "<result 0>"},
      {"; [CONFIG]\nZEP_A=1\n", "ZEP_A", "<result 0>"},
      {"[CONFIG\nZEP_A=1\n", "ZEP_A", "<result 0>"},
      {"[CONFIG] ]\nZEP_A=1\n", "ZEP_A", "<result 0>"},
      // Comments after the value and indented lines; keys match whole and
      // case-sensitively.
      {"[CONFIG]\nZEP_MON_CYCLE=500;comment\n", "ZEP_MON_CYCLE",
       "ZEP_MON_CYCLE=500"},
      {"[CONFIG]\n    ZEP_MON_CYCLE=500 ; a comment\n", "ZEP_MON_CYCLE",
       "ZEP_MON_CYCLE=500"},
      {"[CONFIG]\nzep_mon_cycle=500\nZEP_MON_CYCLEX=1\nZEP_MON=2\n",
       "ZEP_MON_CYCLE", "<result 0>"},
      {"[CONFIG]\n  ; ZEP_MON_CYCLE=500\n", "ZEP_MON_CYCLE", "<result 0>"},
      // A blank before "=" leaves the bare key; one after it, no value.
      {"[CONFIG]\nZEP_PF_WAIT =500\n", "ZEP_PF_WAIT", "ZEP_PF_WAIT"},
      {"[CONFIG]\nZEP_PF_WAIT= 500\n", "ZEP_PF_WAIT", "ZEP_PF_WAIT="},
      // A tab is an ordinary character; a line without "=" is no setting;
      // the last line needs no line feed.
      {"[CONFIG]\nZEP_PF_WAIT=300\t;x\n", "ZEP_PF_WAIT", "ZEP_PF_WAIT=300\t"},
      {"[CONFIG]\nZEP_PF_WAIT\nZEP_PF_WAIT=9", "ZEP_PF_WAIT", "ZEP_PF_WAIT=9"},
      // Windows line ends; a lone CR is kept; Ctrl+Z ends the text.
      {"[CONFIG]\r\nZEP_A=1\r\n", "ZEP_A", "ZEP_A=1"},
      {"[CONFIG]\nZEP_A=1\r2\n", "ZEP_A", "ZEP_A=1\r2"},
      {"[CONFIG]\n\x1AZEP_A=1\n", "ZEP_A", "<result 0>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, Entry(WriteConf(c.file), "CONFIG", c.key)) << c.file;
  }
}

TEST_F(ConfigTest, SearchRunsFromTheHeaderToTheEnd) {
  std::string path = WriteConf(
      "ZEP_LB_WAIT=10\n[CONFIG]\nZEP_PF_WAIT=300\nZEP_PF_WAIT=600\n"
      "[PRODUCT]\nZEP_VERSION=1.1.0.2\nZEP_MON_CYCLE=2000\n");
  EXPECT_EQ("ZEP_PF_WAIT=300", Entry(path, "CONFIG", "ZEP_PF_WAIT"));
  EXPECT_EQ("ZEP_MON_CYCLE=2000", Entry(path, "CONFIG", "ZEP_MON_CYCLE"));
  EXPECT_EQ("<result 0>", Entry(path, "CONFIG", "ZEP_LB_WAIT"));
  EXPECT_EQ("<result 0>", Entry(path, "PRODUCT", "ZEP_PF_WAIT"));
  EXPECT_EQ("<result 0>", Entry(path, "MISSING", "ZEP_PF_WAIT"));
}

TEST_F(ConfigTest, LongLinesAreCutAt260AndTheirRestSkipped) {
  // The rest of a longer line is skipped: neither a setting nor the tail
  // of a long comment is read as a line of its own.
  std::string first = "ZEP_A=" + std::string(254, 'a');  // 260 characters
  std::string comment = "; " + std::string(258, 'c');
  std::string path = WriteConf("[CONFIG]\n" + first + "ZEP_B=2\n" + comment +
                               "ZEP_C=3\nZEP_D=4\n");
  EXPECT_EQ(first, Entry(path, "CONFIG", "ZEP_A"));
  EXPECT_EQ("<result 0>", Entry(path, "CONFIG", "ZEP_B"));
  EXPECT_EQ("<result 0>", Entry(path, "CONFIG", "ZEP_C"));
  EXPECT_EQ("ZEP_D=4", Entry(path, "CONFIG", "ZEP_D"));
  // A line of exactly 260 characters is whole; so is a 259-character line
  // whose CR is dropped before the piece is measured.
  path = WriteConf("[CONFIG]\n" + first + "\nZEP_B=2\n");
  EXPECT_EQ("ZEP_B=2", Entry(path, "CONFIG", "ZEP_B"));
  std::string line = "ZEP_A=" + std::string(253, 'a');
  path = WriteConf("[CONFIG]\r\n" + line + "\r\nZEP_B=3\r\n");
  EXPECT_EQ(line, Entry(path, "CONFIG", "ZEP_A"));
  EXPECT_EQ("ZEP_B=3", Entry(path, "CONFIG", "ZEP_B"));
}

TEST_F(ConfigTest, WhatIsWrongWithTheFileIsSaidInWords) {
  const std::string long_line = "; " + std::string(300, 'x') + "\n";
  const struct {
    const char* what;
    std::string text;  // none: no file
    const char* problem;
  } cases[] = {
      {"missing", "",
       "cannot be opened (No such file or directory); the "
       "built-in settings apply"},
      {"junk",
       "\x7f"
       "ELF\x01\x02 binary junk\n[PRODUCT]\n",
       "has no [CONFIG] section; the built-in settings apply"},
      {"long line", "[CONFIG]\nZEP_PF_WAIT=60\n" + long_line + long_line,
       "line 3 is longer than 260 characters; the rest of it is ignored"},
      {"both", long_line,
       "has no [CONFIG] section; the built-in settings "
       "apply; line 1 is longer than 260 characters; the rest of it is "
       "ignored"},
      {"fine", "[CONFIG]\nZEP_PF_WAIT=60\n", ""},
  };
  for (const auto& c : cases) {
    std::string path = dir_.PathOf("ZEP.conf");
    std::filesystem::remove(path);
    if (!c.text.empty()) path = WriteConf(c.text);
    EXPECT_EQ(c.problem, CheckConfigFile(path)) << c.what;
  }
  // The loaders answer with the same words.
  EXPECT_EQ("", LoadServiceConfigurationFrom(dir_.PathOf("ZEP.conf"), true,
                                             Western()));
}

TEST_F(ConfigTest, ReadConfigEntryRefusals) {
  std::string path = WriteConf("[CONFIG]\nZEP_PF_WAIT=300\n");
  EXPECT_EQ(15,
            ReadConfigEntryAt(nullptr, path.c_str(), "CONFIG", "ZEP_PF_WAIT"));
  char out[kConfigEntrySize];
  EXPECT_EQ(-1, ReadConfigEntryAt(out, nullptr, "CONFIG", "ZEP_PF_WAIT"));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, path.c_str(), nullptr, "ZEP_PF_WAIT"));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, path.c_str(), "CONFIG", nullptr));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, dir_.PathOf("none").c_str(), "CONFIG",
                                  "ZEP_PF_WAIT"));
  // A name that cannot fit the path buffer is refused, not cut.
  EXPECT_EQ(-1, ReadConfigEntry(out, std::string(300, 'n').c_str(), "CONFIG",
                                "ZEP_A"));

  // So is an existing file whose path is longer than 259 characters.
  std::filesystem::path deep(dir_.PathOf(""));
  while (deep.string().size() < 270) deep /= std::string(60, 'd');
  std::error_code error;
  std::filesystem::create_directories(deep, error);
  std::string long_path = (deep / "ZEP.conf").string();
  std::ofstream(long_path, std::ios::binary) << "[CONFIG]\nZEP_A=1\n";
  if (!std::filesystem::exists(long_path)) GTEST_SKIP() << "no long paths";
  EXPECT_EQ(-1, ReadConfigEntryAt(out, long_path.c_str(), "CONFIG", "ZEP_A"));
}

TEST_F(ConfigTest, GetConfigTextAndInt) {
  char out[kConfigValueSize];
  EXPECT_EQ(-1, GetConfigText(out, "ZEP_TEST_VALUE"));
  EXPECT_EQ(-1, GetConfigText(nullptr, "ZEP_TEST_VALUE"));
  EXPECT_EQ(-1, GetConfigInt("ZEP_TEST_VALUE"));

  // 63 characters at most, always terminated, the rest zero.
  std::string long_value(100, 'v');
  long_value[62] = 'E';
  PutEnvironmentText(("ZEP_TEST_VALUE=" + long_value).c_str());
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(63, GetConfigText(out, "ZEP_TEST_VALUE"));
  EXPECT_EQ('E', out[62]);
  EXPECT_EQ('\0', out[63]);
  PutEnvironmentText("ZEP_TEST_VALUE=300");
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(3, GetConfigText(out, "ZEP_TEST_VALUE"));
  EXPECT_EQ(std::string("300") + std::string(61, '\0'),
            std::string(out, sizeof out));

  const struct {
    const char* value;
    int expected;
  } cases[] = {{"1000", 1000},
               {"-25", -25},
               {"+7", 7},
               {"12abc", 12},
               {"  42", 42},
               {"abc", -1},
               {"-", -1},
               {"99999999999", INT_MAX},
               {"-99999999999", INT_MIN}};
  for (const auto& c : cases) {
    PutEnvironmentText((std::string("ZEP_TEST_VALUE=") + c.value).c_str());
    EXPECT_EQ(c.expected, GetConfigInt("ZEP_TEST_VALUE")) << c.value;
  }
}

TEST_F(ConfigTest, ServiceFullLoadAndRefresh) {
  std::string path = WriteConf(
      "[PRODUCT]\nZEP_VERSION=1.1.0.2\n[CONFIG]\nZEP_UPS_DELAY=3\n"
      "ZEP_UPS_RESTART=4\nZEP_PORT=COM3\nZEP_MAX_PORT=12\nZEP_FIXED_FLAG=1\n"
      "ZEP_METER_CYCLE=30\nZEP_AWAY_MODE=1\nZEP_MON_CYCLE=500 ; fast\n"
      "ZEP_EXEC_WAIT=8\nZEP_PF_WAIT=120\nZEP_LB_WAIT=15\nZEP_POPUP=0\n");
  LoadServiceConfigurationFrom(path, true, Western());
  ExpectSettings({{"ZEP_VERSION", "1.1.0.2"},
                  {"ZEP_UPS_DELAY", "3"},
                  {"ZEP_UPS_RESTART", "4"},
                  {"ZEP_PORT", "COM3"},
                  {"ZEP_MAX_PORT", "12"},
                  {"ZEP_FIXED_FLAG", "1"},
                  {"ZEP_METER_CYCLE", "30"},
                  {"ZEP_AWAY_MODE", "1"},
                  {"ZEP_MON_CYCLE", "500"},
                  {"ZEP_EXEC_WAIT", "8"},
                  {"ZEP_PF_WAIT", "120"},
                  {"ZEP_LB_WAIT", "15"},
                  {"ZEP_POPUP", "<unset>"}});

  // While the UPS is known, the port is changed, the flag cleared, the
  // delay removed, and blanks put around two "=" signs.
  path = WriteConf(
      "[CONFIG]\nZEP_PORT=COM4\nZEP_MAX_PORT=20\nZEP_FIXED_FLAG=0\n"
      "ZEP_MON_CYCLE=800\nZEP_PF_WAIT= 60\nZEP_LB_WAIT =5\n");
  LoadServiceConfigurationFrom(path, false, Western());
  ExpectSettings({{"ZEP_PORT", "COM3"},
                  {"ZEP_MAX_PORT", "12"},
                  {"ZEP_FIXED_FLAG", "1"},
                  {"ZEP_UPS_DELAY", "3"},
                  {"ZEP_MON_CYCLE", "800"},
                  {"ZEP_PF_WAIT", "<unset>"},
                  {"ZEP_LB_WAIT", "15"}});

  // A full load picks up the port and flag, and writes the defaults of
  // the keys the file no longer has.
  LoadServiceConfigurationFrom(path, true, Western());
  ExpectSettings({{"ZEP_PORT", "COM4"},
                  {"ZEP_MAX_PORT", "20"},
                  {"ZEP_FIXED_FLAG", "0"},
                  {"ZEP_UPS_DELAY", "2"},
                  {"ZEP_UPS_RESTART", "1"},
                  {"ZEP_EXEC_WAIT", "5"}});
}

TEST_F(ConfigTest, ServiceWithoutAFile) {
  std::string missing = dir_.PathOf("ZEP.conf");
  LoadServiceConfigurationFrom(missing, false, Japanese());
  ExpectSettings({{"ZEP_UPS_DELAY", "<unset>"},
                  {"ZEP_UPS_RESTART", "<unset>"},
                  {"ZEP_EXEC_WAIT", "<unset>"},
                  {"ZEP_LANG", "<unset>"}});
  LoadServiceConfigurationFrom(missing, true, Japanese());
  ExpectSettings({{"ZEP_UPS_DELAY", "2"},
                  {"ZEP_UPS_RESTART", "1"},
                  {"ZEP_EXEC_WAIT", "5"},
                  {"ZEP_VERSION", "<unset>"},
                  {"ZEP_MON_CYCLE", "<unset>"},
                  {"ZEP_LANG", "<unset>"}});
}

TEST_F(ConfigTest, ServiceLanguageFollowsTheCodePage) {
  std::string path = WriteConf("[CONFIG]\nZEP_LANG=en\n");  // never read
  const struct {
    const char* before;  // nullptr: unset
    bool full;
    CodePageFacts facts;
    const char* after;
  } cases[] = {
      {nullptr, true, Japanese(), "<unset>"},
      {"en", true, Japanese(), "<unset>"},
      {"en", false, Japanese(), "en"},
      {nullptr, false, Western(), "en"},
      {"de", true, Western(), "en"},
      {"de", false, Western(), "de"},
  };
  for (const auto& c : cases) {
    SetLang(c.before);
    LoadServiceConfigurationFrom(path, c.full, c.facts);
    EXPECT_EQ(c.after, EnvOrUnset("ZEP_LANG"))
        << (c.before ? c.before : "unset") << " full " << c.full << " cp "
        << c.facts.ansi_code_page;
  }
}

TEST_F(ConfigTest, TrayKeysAndDefaults) {
  LoadTrayConfigurationFrom(dir_.PathOf("ZEP.conf"), Western());
  ExpectSettings({{"ZEP_VERSION", "Unknown"},
                  {"ZEP_POPUP", "1"},
                  {"ZEP_GUI_CYCLE", "5000"},
                  {"ZEP_LANG", "en"},
                  {"ZEP_UPS_DELAY", "<unset>"}});
  LoadTrayConfigurationFrom(
      WriteConf("[CONFIG]\nZEP_POPUP=0\nZEP_GUI_CYCLE=2000\n"
                "[PRODUCT]\nZEP_VERSION=1.1.0.2\n"),
      Western());
  ExpectSettings({{"ZEP_VERSION", "1.1.0.2"},
                  {"ZEP_POPUP", "0"},
                  {"ZEP_GUI_CYCLE", "2000"}});
}

TEST_F(ConfigTest, TrayLanguage) {
  const struct {
    const char* before;  // nullptr: unset
    const char* line;    // the ZEP_LANG line of the file, or ""
    CodePageFacts facts;
    const char* after;
  } cases[] = {
      // Without the key the primary interface language (low 10 bits) counts.
      {nullptr, "", {1252, true, 0x0811}, "<unset>"},
      {nullptr, "", {932, true, 0x0409}, "en"},
      // Exactly "en" or "EN" is English; anything else Japanese when the
      // computer has code page 932. A bare key has no value.
      {nullptr, "ZEP_LANG=EN", Japanese(), "en"},
      {nullptr, "ZEP_LANG=En", Japanese(), "<unset>"},
      {nullptr, "ZEP_LANG=ja", {1252, false, 0x0411}, "en"},
      {nullptr, "ZEP_LANG =en", Japanese(), "<unset>"},
      // A value already in the environment wins.
      {"_de", "ZEP_LANG=ja", Japanese(), "_de"},
  };
  for (const auto& c : cases) {
    SetLang(c.before);
    LoadTrayConfigurationFrom(WriteConf(std::string("[CONFIG]\n") + c.line),
                              c.facts);
    EXPECT_EQ(c.after, EnvOrUnset("ZEP_LANG"))
        << c.line << " " << c.facts.ui_language;
  }
}

}  // namespace
}  // namespace zep
