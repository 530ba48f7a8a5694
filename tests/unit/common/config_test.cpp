// ZEP.conf reading and the two loaders. Expected setting texts are written
// out by hand from the file contents of each case.

#include "config.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

#include "scratch_files.h"

namespace zep {
namespace {

const std::vector<std::string> kSettingKeys = {
    "ZEP_VERSION",     "ZEP_LANG",      "ZEP_UPS_DELAY",  "ZEP_UPS_RESTART",
    "ZEP_PORT",        "ZEP_MAX_PORT",  "ZEP_FIXED_FLAG", "ZEP_METER_CYCLE",
    "ZEP_AWAY_MODE",   "ZEP_MON_CYCLE", "ZEP_EXEC_WAIT",  "ZEP_PF_WAIT",
    "ZEP_LB_WAIT",     "ZEP_POPUP",     "ZEP_GUI_CYCLE",  "ZEP_TEST_VALUE"};

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

  ScratchDir dir_;
  EnvironmentGuard env_{kSettingKeys};
};

struct EntryCase {
  const char* file;
  const char* section;
  const char* key;
  const char* expected;
};

TEST_F(ConfigTest, SectionHeaderMatching) {
  const EntryCase cases[] = {
      {"[CONFIG]\nZEP_A=1\n", "CONFIG", "ZEP_A", "ZEP_A=1"},
      // Blanks before "[" and between the name and "]" do not matter.
      {"   [CONFIG]\nZEP_A=1\n", "CONFIG", "ZEP_A", "ZEP_A=1"},
      {"[CONFIG   ]\nZEP_A=1\n", "CONFIG", "ZEP_A", "ZEP_A=1"},
      // A blank after "[" makes another name; names are case-sensitive.
      {"[ CONFIG]\nZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
      {"[config]\nZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
      {"[CONFIGX]\nZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
      // A commented header, an unclosed one, and no header at all.
      {"; [CONFIG]\nZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
      {"[CONFIG\nZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
      {"ZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
      // The name runs to the last "]" of the line.
      {"[CONFIG] ]\nZEP_A=1\n", "CONFIG", "ZEP_A", "<result 0>"},
  };
  for (const EntryCase& c : cases) {
    std::string path = WriteConf(c.file);
    EXPECT_EQ(c.expected, Entry(path, c.section, c.key)) << c.file;
  }
}

TEST_F(ConfigTest, SettingLinesAndComments) {
  const EntryCase cases[] = {
      {"[CONFIG]\nZEP_MON_CYCLE=500;comment\n", "CONFIG", "ZEP_MON_CYCLE",
       "ZEP_MON_CYCLE=500"},
      {"[CONFIG]\n    ZEP_MON_CYCLE=500 ; a comment\n", "CONFIG",
       "ZEP_MON_CYCLE", "ZEP_MON_CYCLE=500"},
      {"[CONFIG]\nzep_mon_cycle=500\n", "CONFIG", "ZEP_MON_CYCLE",
       "<result 0>"},
      {"[CONFIG]\n  ; ZEP_MON_CYCLE=500\n", "CONFIG", "ZEP_MON_CYCLE",
       "<result 0>"},
      // A blank before "=" leaves the bare key; one after it, no value.
      {"[CONFIG]\nZEP_MON_CYCLE =500\n", "CONFIG", "ZEP_MON_CYCLE",
       "ZEP_MON_CYCLE"},
      {"[CONFIG]\nZEP_MON_CYCLE= 500\n", "CONFIG", "ZEP_MON_CYCLE",
       "ZEP_MON_CYCLE="},
      // Keys must match whole.
      {"[CONFIG]\nZEP_MON_CYCLEX=1\nZEP_MON=2\n", "CONFIG", "ZEP_MON_CYCLE",
       "<result 0>"},
      // A tab is an ordinary character and stays in the value.
      {"[CONFIG]\nZEP_PF_WAIT=300\t;x\n", "CONFIG", "ZEP_PF_WAIT",
       "ZEP_PF_WAIT=300\t"},
      // A line without "=" is not a setting, and the last line needs no
      // line feed.
      {"[CONFIG]\nZEP_PF_WAIT\nZEP_PF_WAIT=9", "CONFIG", "ZEP_PF_WAIT",
       "ZEP_PF_WAIT=9"},
      // The value keeps "=" and other characters up to the first blank.
      {"[CONFIG]\nZEP_PORT=a=b/c:d e\n", "CONFIG", "ZEP_PORT",
       "ZEP_PORT=a=b/c:d"},
  };
  for (const EntryCase& c : cases) {
    std::string path = WriteConf(c.file);
    EXPECT_EQ(c.expected, Entry(path, c.section, c.key)) << c.file;
  }
}

TEST_F(ConfigTest, SearchRunsFromTheHeaderToTheEnd) {
  std::string path = WriteConf(
      "ZEP_LB_WAIT=10\n"
      "[CONFIG]\n"
      "ZEP_PF_WAIT=300\n"
      "ZEP_PF_WAIT=600\n"
      "[PRODUCT]\n"
      "ZEP_VERSION=1.1.0.2\n"
      "ZEP_MON_CYCLE=2000\n");
  // The first occurrence after the header wins.
  EXPECT_EQ("ZEP_PF_WAIT=300", Entry(path, "CONFIG", "ZEP_PF_WAIT"));
  // Keys under a later header are still found for the earlier section.
  EXPECT_EQ("ZEP_MON_CYCLE=2000", Entry(path, "CONFIG", "ZEP_MON_CYCLE"));
  EXPECT_EQ("ZEP_VERSION=1.1.0.2", Entry(path, "CONFIG", "ZEP_VERSION"));
  // A key standing only before its header is not found.
  EXPECT_EQ("<result 0>", Entry(path, "CONFIG", "ZEP_LB_WAIT"));
  EXPECT_EQ("<result 0>", Entry(path, "PRODUCT", "ZEP_PF_WAIT"));
  EXPECT_EQ("<result 0>", Entry(path, "MISSING", "ZEP_PF_WAIT"));
}

TEST_F(ConfigTest, LinesReadAsTextInPiecesOf260) {
  // Windows line ends read as plain line feeds.
  std::string path = WriteConf("[CONFIG]\r\nZEP_PF_WAIT=300\r\nZEP_A=1\r\n");
  EXPECT_EQ("ZEP_PF_WAIT=300", Entry(path, "CONFIG", "ZEP_PF_WAIT"));
  EXPECT_EQ("ZEP_A=1", Entry(path, "CONFIG", "ZEP_A"));

  // 260 characters form one piece; the rest of the line is a line of its
  // own, where a further setting is found.
  std::string first = "ZEP_A=" + std::string(254, 'a');
  ASSERT_EQ(260u, first.size());
  path = WriteConf("[CONFIG]\n" + first + "ZEP_B=2\n");
  EXPECT_EQ(first, Entry(path, "CONFIG", "ZEP_A"));
  EXPECT_EQ("ZEP_B=2", Entry(path, "CONFIG", "ZEP_B"));

  // A 259-character line ending in CR LF fits one piece: the CR is dropped
  // before the piece is measured, not kept as a 260th character.
  std::string line = "ZEP_A=" + std::string(253, 'a');
  ASSERT_EQ(259u, line.size());
  path = WriteConf("[CONFIG]\r\n" + line + "\r\nZEP_B=3\r\n");
  EXPECT_EQ(line, Entry(path, "CONFIG", "ZEP_A"));
  EXPECT_EQ("ZEP_B=3", Entry(path, "CONFIG", "ZEP_B"));

  // A lone CR is an ordinary character; Ctrl+Z ends the text.
  path = WriteConf("[CONFIG]\nZEP_A=1\r2\nZEP_B=2\n\x1AZEP_C=3\n");
  EXPECT_EQ("ZEP_A=1\r2", Entry(path, "CONFIG", "ZEP_A"));
  EXPECT_EQ("ZEP_B=2", Entry(path, "CONFIG", "ZEP_B"));
  EXPECT_EQ("<result 0>", Entry(path, "CONFIG", "ZEP_C"));
}

TEST_F(ConfigTest, ReadConfigEntryResults) {
  std::string path = WriteConf("[CONFIG]\nZEP_PF_WAIT=300\n");
  // Without a buffer only the length comes back.
  EXPECT_EQ(15, ReadConfigEntryAt(nullptr, path.c_str(), "CONFIG",
                                  "ZEP_PF_WAIT"));
  char out[kConfigEntrySize];
  EXPECT_EQ(-1, ReadConfigEntryAt(out, nullptr, "CONFIG", "ZEP_PF_WAIT"));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, path.c_str(), nullptr, "ZEP_PF_WAIT"));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, path.c_str(), "CONFIG", nullptr));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, path.c_str(), "CONFIG", ""));
  EXPECT_EQ(-1, ReadConfigEntryAt(out, dir_.PathOf("none.conf").c_str(),
                                  "CONFIG", "ZEP_PF_WAIT"));
  // The bare-name form refuses a name that cannot fit the path buffer.
  std::string long_name(300, 'n');
  EXPECT_EQ(-1, ReadConfigEntry(out, long_name.c_str(), "CONFIG", "ZEP_A"));
  EXPECT_EQ(-1, ReadConfigEntry(out, nullptr, "CONFIG", "ZEP_A"));
}

TEST_F(ConfigTest, PathLongerThan259IsRefused) {
  namespace fs = std::filesystem;
  fs::path deep(dir_.PathOf(""));
  std::string component(60, 'd');
  std::error_code error;
  while (deep.string().size() < 270) deep /= component;
  fs::create_directories(deep, error);
  std::string path = (deep / "ZEP.conf").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << "[CONFIG]\nZEP_A=1\n";
  }
  if (error || !fs::exists(path)) {
    GTEST_SKIP() << "this file system does not hold such long paths";
  }
  ASSERT_GT(path.size(), 259u);
  char out[kConfigEntrySize];
  EXPECT_EQ(-1, ReadConfigEntryAt(out, path.c_str(), "CONFIG", "ZEP_A"));
}

TEST_F(ConfigTest, GetConfigTextCopiesAtMost63Characters) {
  char out[kConfigValueSize];
  EXPECT_EQ(-1, GetConfigText(out, "ZEP_TEST_VALUE"));
  EXPECT_EQ(-1, GetConfigText(nullptr, "ZEP_TEST_VALUE"));
  EXPECT_EQ(-1, GetConfigText(out, nullptr));

  ASSERT_EQ(0, PutEnvironmentText("ZEP_TEST_VALUE=300"));
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(3, GetConfigText(out, "ZEP_TEST_VALUE"));
  EXPECT_STREQ("300", out);
  for (size_t i = 3; i < sizeof out; ++i) EXPECT_EQ('\0', out[i]) << i;

  std::string long_value(100, 'v');
  long_value[62] = 'E';  // the last character that fits
  ASSERT_EQ(0, PutEnvironmentText(("ZEP_TEST_VALUE=" + long_value).c_str()));
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(63, GetConfigText(out, "ZEP_TEST_VALUE"));
  EXPECT_EQ('E', out[62]);
  EXPECT_EQ('\0', out[63]);
}

TEST_F(ConfigTest, GetConfigIntReadsTheLeadingNumber) {
  EXPECT_EQ(-1, GetConfigInt("ZEP_TEST_VALUE"));
  struct {
    const char* value;
    int expected;
  } const cases[] = {
      {"1000", 1000},   {"-25", -25},       {"+7", 7},        {"12abc", 12},
      {"  42", 42},     {"0", 0},           {"abc", -1},      {"-", -1},
      {"+x", -1},       {"9999999999", INT_MAX},
      {"-9999999999", INT_MIN},             {"2147483647", INT_MAX},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(0, PutEnvironmentText(
                     (std::string("ZEP_TEST_VALUE=") + c.value).c_str()));
    EXPECT_EQ(c.expected, GetConfigInt("ZEP_TEST_VALUE")) << c.value;
  }
}

const char kFullFile[] =
    "; settings of the test\n"
    "[PRODUCT]\n"
    "ZEP_VERSION=1.1.0.2\n"
    "[CONFIG]\n"
    "ZEP_LANG=en\n"
    "ZEP_UPS_DELAY=3\n"
    "ZEP_UPS_RESTART=4\n"
    "ZEP_PORT=COM3\n"
    "ZEP_MAX_PORT=12\n"
    "ZEP_FIXED_FLAG=1\n"
    "ZEP_METER_CYCLE=30\n"
    "ZEP_AWAY_MODE=1\n"
    "ZEP_MON_CYCLE=500 ; fast\n"
    "ZEP_EXEC_WAIT=8\n"
    "ZEP_PF_WAIT=120\n"
    "ZEP_LB_WAIT=15\n";

TEST_F(ConfigTest, ServiceFullLoadPutsEveryKey) {
  LoadServiceConfigurationFrom(WriteConf(kFullFile), true, Western());
  EXPECT_EQ("1.1.0.2", EnvOrUnset("ZEP_VERSION"));
  EXPECT_EQ("en", EnvOrUnset("ZEP_LANG"));
  EXPECT_EQ("3", EnvOrUnset("ZEP_UPS_DELAY"));
  EXPECT_EQ("4", EnvOrUnset("ZEP_UPS_RESTART"));
  EXPECT_EQ("COM3", EnvOrUnset("ZEP_PORT"));
  EXPECT_EQ("12", EnvOrUnset("ZEP_MAX_PORT"));
  EXPECT_EQ("1", EnvOrUnset("ZEP_FIXED_FLAG"));
  EXPECT_EQ("30", EnvOrUnset("ZEP_METER_CYCLE"));
  EXPECT_EQ("1", EnvOrUnset("ZEP_AWAY_MODE"));
  EXPECT_EQ("500", EnvOrUnset("ZEP_MON_CYCLE"));
  EXPECT_EQ("8", EnvOrUnset("ZEP_EXEC_WAIT"));
  EXPECT_EQ("120", EnvOrUnset("ZEP_PF_WAIT"));
  EXPECT_EQ("15", EnvOrUnset("ZEP_LB_WAIT"));
  EXPECT_EQ(500, GetConfigInt("ZEP_MON_CYCLE"));
  // Tray keys are not the service's business.
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_POPUP"));
}

TEST_F(ConfigTest, ServiceDefaultsOnlyOnAFullLoad) {
  std::string missing = dir_.PathOf("ZEP.conf");
  LoadServiceConfigurationFrom(missing, false, Japanese());
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_UPS_DELAY"));
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_UPS_RESTART"));
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_EXEC_WAIT"));

  LoadServiceConfigurationFrom(missing, true, Japanese());
  EXPECT_EQ("2", EnvOrUnset("ZEP_UPS_DELAY"));
  EXPECT_EQ("1", EnvOrUnset("ZEP_UPS_RESTART"));
  EXPECT_EQ("5", EnvOrUnset("ZEP_EXEC_WAIT"));
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_VERSION"));
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_MON_CYCLE"));
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_LANG"));

  // A file without the keys gets the same defaults in a full load.
  LoadServiceConfigurationFrom(WriteConf("[CONFIG]\nZEP_UPS_DELAY=9\n"), true,
                               Japanese());
  EXPECT_EQ("9", EnvOrUnset("ZEP_UPS_DELAY"));
  EXPECT_EQ("1", EnvOrUnset("ZEP_UPS_RESTART"));
}

TEST_F(ConfigTest, ServiceRefreshKeepsPortsAndRemovedKeys) {
  LoadServiceConfigurationFrom(
      WriteConf("[CONFIG]\nZEP_MON_CYCLE=500\nZEP_UPS_DELAY=3\n"), true,
      Western());
  ASSERT_EQ("500", EnvOrUnset("ZEP_MON_CYCLE"));

  // While running, the port is added, the cycle changed and the delay
  // removed from the file.
  std::string path =
      WriteConf("[CONFIG]\nZEP_PORT=COM4\nZEP_MAX_PORT=20\nZEP_MON_CYCLE=800\n");
  LoadServiceConfigurationFrom(path, false, Western());
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_PORT"));
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_MAX_PORT"));
  EXPECT_EQ("800", EnvOrUnset("ZEP_MON_CYCLE"));
  EXPECT_EQ("3", EnvOrUnset("ZEP_UPS_DELAY"));

  LoadServiceConfigurationFrom(path, true, Western());
  EXPECT_EQ("COM4", EnvOrUnset("ZEP_PORT"));
  EXPECT_EQ("20", EnvOrUnset("ZEP_MAX_PORT"));
  // Only a full load falls back to the default for a key no longer there.
  EXPECT_EQ("2", EnvOrUnset("ZEP_UPS_DELAY"));
}

TEST_F(ConfigTest, ServiceFixedFlagOnRefreshOnlyWhenUnset) {
  LoadServiceConfigurationFrom(WriteConf("[CONFIG]\nZEP_FIXED_FLAG=1\n"),
                               false, Western());
  EXPECT_EQ("1", EnvOrUnset("ZEP_FIXED_FLAG"));
  std::string path = WriteConf("[CONFIG]\nZEP_FIXED_FLAG=0\n");
  LoadServiceConfigurationFrom(path, false, Western());
  EXPECT_EQ("1", EnvOrUnset("ZEP_FIXED_FLAG"));
  LoadServiceConfigurationFrom(path, true, Western());
  EXPECT_EQ("0", EnvOrUnset("ZEP_FIXED_FLAG"));
}

TEST_F(ConfigTest, ServiceBlanksAroundTheEqualsSign) {
  ASSERT_EQ(0, PutEnvironmentText("ZEP_MON_CYCLE=500"));
  ASSERT_EQ(0, PutEnvironmentText("ZEP_PF_WAIT=300"));
  LoadServiceConfigurationFrom(
      WriteConf("[CONFIG]\nZEP_MON_CYCLE =700\nZEP_PF_WAIT= 600\n"), false,
      Western());
  // The bare key cannot be put: the old value stays.
  EXPECT_EQ("500", EnvOrUnset("ZEP_MON_CYCLE"));
  // The empty value removes the setting, so the reader's rule applies.
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_PF_WAIT"));
}

TEST_F(ConfigTest, ServiceLanguageFollowsTheCodePage) {
  std::string path = WriteConf(kFullFile);  // holds ZEP_LANG=en
  struct {
    const char* before;  // nullptr: unset
    bool full;
    CodePageFacts facts;
    const char* after;
  } const cases[] = {
      // Code page 932: Japanese, i.e. no ZEP_LANG, whatever the file says.
      {nullptr, true, Japanese(), "<unset>"},
      {"en", true, Japanese(), "<unset>"},
      {"en", false, Japanese(), "en"},  // a refresh leaves it alone
      {nullptr, false, Japanese(), "<unset>"},
      // Other code pages: English.
      {nullptr, true, Western(), "en"},
      {nullptr, false, Western(), "en"},
      {"de", true, Western(), "en"},
      {"de", false, Western(), "de"},
  };
  for (const auto& c : cases) {
    PutEnvironmentText(
        (std::string("ZEP_LANG=") + (c.before ? c.before : "")).c_str());
    LoadServiceConfigurationFrom(path, c.full, c.facts);
    EXPECT_EQ(c.after, EnvOrUnset("ZEP_LANG"))
        << (c.before ? c.before : "unset") << " full " << c.full << " cp "
        << c.facts.ansi_code_page;
  }
}

TEST_F(ConfigTest, TrayDefaultsWithoutAFile) {
  LoadTrayConfigurationFrom(dir_.PathOf("ZEP.conf"), Western());
  EXPECT_EQ("Unknown", EnvOrUnset("ZEP_VERSION"));
  EXPECT_EQ("1", EnvOrUnset("ZEP_POPUP"));
  EXPECT_EQ("5000", EnvOrUnset("ZEP_GUI_CYCLE"));
  EXPECT_EQ("en", EnvOrUnset("ZEP_LANG"));
  // Service keys are not the tray's business.
  EXPECT_EQ("<unset>", EnvOrUnset("ZEP_UPS_DELAY"));
}

TEST_F(ConfigTest, TrayReadsItsKeys) {
  LoadTrayConfigurationFrom(
      WriteConf("[CONFIG]\nZEP_POPUP=0\nZEP_GUI_CYCLE=2000\n"
                "[PRODUCT]\nZEP_VERSION=1.1.0.2\n"),
      Western());
  EXPECT_EQ("1.1.0.2", EnvOrUnset("ZEP_VERSION"));
  EXPECT_EQ("0", EnvOrUnset("ZEP_POPUP"));
  EXPECT_EQ("2000", EnvOrUnset("ZEP_GUI_CYCLE"));
}

TEST_F(ConfigTest, TrayLanguage) {
  struct {
    const char* before;  // nullptr: unset
    const char* file;    // nullptr: no ZEP_LANG line
    CodePageFacts facts;
    const char* after;
  } const cases[] = {
      // Without the key: the interface language's primary language decides.
      {nullptr, nullptr, {1252, true, 0x0411}, "<unset>"},
      {nullptr, nullptr, {1252, true, 0x0811}, "<unset>"},
      {nullptr, nullptr, {932, true, 0x0409}, "en"},
      // "en" and "EN" exactly mean English; anything else Japanese when the
      // computer has code page 932.
      {nullptr, "ZEP_LANG=EN", Japanese(), "en"},
      {nullptr, "ZEP_LANG=en", Japanese(), "en"},
      {nullptr, "ZEP_LANG=En", Japanese(), "<unset>"},
      {nullptr, "ZEP_LANG=ja", Japanese(), "<unset>"},
      {nullptr, "ZEP_LANG=ja", {1252, false, 0x0411}, "en"},
      // A bare key (blank before "=") has no value at all.
      {nullptr, "ZEP_LANG =en", Japanese(), "<unset>"},
      // A value already in the environment wins.
      {"en", "ZEP_LANG=ja", Japanese(), "en"},
      {"_de", nullptr, Japanese(), "_de"},
  };
  for (const auto& c : cases) {
    PutEnvironmentText(
        (std::string("ZEP_LANG=") + (c.before ? c.before : "")).c_str());
    std::string file = "[CONFIG]\n";
    if (c.file != nullptr) file += std::string(c.file) + "\n";
    LoadTrayConfigurationFrom(WriteConf(file), c.facts);
    EXPECT_EQ(c.after, EnvOrUnset("ZEP_LANG"))
        << (c.file ? c.file : "no key") << " ui " << c.facts.ui_language;
  }
}

}  // namespace
}  // namespace zep
