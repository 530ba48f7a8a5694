// The files an installation ships, read from the build's bin directory (the
// build lays them out there beside the programs): the ten message files
// through the programs' own reader, and ZEP.conf through the settings reader.
// Every expected text below is written out by hand; the Japanese ones as
// their code page 932 bytes.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "config.h"
#include "message_files.h"
#include "process.h"

namespace zep {
namespace {

// Code page 932 text from its bytes.
std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text += static_cast<char>(b);
  return text;
}

// The event codes of the condition table, in its order, and the service's
// own link event.
const int kEventCodes[] = {
    96,   64,   4,    30,   40,   48,   57,   63,   71,   119,  304,
    3368, 3200, 257,  2176, 2177, 3336, 3340, 385,  393,  386,  400,
    777,  3201, 3202, 3203, 3072, 299,  314,  780,  2129, 2144, 2164,
    2592, 3080, 1544, 2568, 313,  308,  1072, 1328, 1584, 1841, 2352,
    1408, 3204, 3084, 3208, 610,  626,  769,  1024, 1036, 1104, 1125,
    1280, 1304, 1536, 1636, 1792, 2057, 2304, 3880};

// Categories: the display categories of the event codes, the quiet ones,
// the status records' and the tray's.
const int kCategories[] = {11,  12,  21,  22,  23,  24,  25,  26,  29,  30,
                           31,  32,  33,  34,  35,  36,  37,  38,  39,  40,
                           45,  50,  100, 101, 102, 103, 104, 105, 106, 107,
                           108, 109, 110, 111, 112, 113, 114, 115, 116, 117,
                           118, 119, 120, 121, 122, 123, 130, 150, 151, 152};

// The tags of the values the monitor sends to the meter thread.
const int kMeterTags[] = {64,  88,  160, 168, 169, 172, 176, 192, 200,
                          201, 208, 224, 226, 227, 232, 234, 235};

// The tray's line formats: one value goes into each.
const int kLineFormats[] = {106, 111, 112, 113, 114, 121, 122, 123, 152};

const char* const kBaseNames[] = {"level", "category", "status", "event",
                                  "meter"};

struct Language {
  const char* name;
  const char* suffix;
};
const Language kLanguages[] = {{"English", "_en"}, {"Japanese", ""}};

class ShippedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ExecutableDirectory();
    ASSERT_FALSE(dir_.empty());
  }

  // Loads one language into tables_; 1 when all five files were read.
  int Load(const char* suffix) {
    return LoadMessageFilesFrom(tables_.get(), dir_, suffix);
  }

  // GetMessage with no default, so that a missing record shows as the
  // "Unknown" text of category 107.
  std::string Text(int kind, int id, int selector = 0) {
    char out[kMessageBufferSize] = {};
    GetMessage(*tables_, out, sizeof out, kind, id, selector, nullptr);
    return out;
  }

  bool Has(int kind, int id) {
    return LookupMessage(*tables_, nullptr, 0, kind, id, -1) >= 0;
  }

  std::string ReadRaw(const std::string& name) {
    std::ifstream in(dir_ + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string ConfigEntry(const char* section, const char* key) {
    char out[kConfigEntrySize] = {};
    std::string path = dir_ + "ZEP.conf";
    int n = ReadConfigEntryAt(out, path.c_str(), section, key);
    return n > 0 ? out : std::to_string(n);
  }

  std::string dir_;
  std::unique_ptr<MessageTables> tables_ = std::make_unique<MessageTables>();
};

TEST_F(ShippedFilesTest, BothLanguagesLoadWithEveryRecordInItsTable) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.name);
    ASSERT_EQ(1, Load(language.suffix));
    // Counted by hand from the files: 5 levels, 50 categories, 9 states and
    // 63 events (sharing a table of 256, so none is cut off), 17 tags.
    const std::string suffix = language.suffix;
    MessageRecord scratch[256];
    auto count = [&](const char* base) {
      return ParseMessageFile(scratch, 256,
                              (dir_ + base + suffix + ".msg").c_str());
    };
    EXPECT_EQ(5, count("level"));
    EXPECT_EQ(50, count("category"));
    EXPECT_EQ(9, count("status"));
    EXPECT_EQ(63, count("event"));
    EXPECT_EQ(17, count("meter"));
  }
}

TEST_F(ShippedFilesTest, EnglishTexts) {
  ASSERT_EQ(1, Load("_en"));
  EXPECT_EQ("Information", Text(kKindLevel, 1));
  EXPECT_EQ("Caution", Text(kKindLevel, 2));
  EXPECT_EQ("Fault", Text(kKindLevel, 3));
  EXPECT_EQ("Occurrence", Text(kKindLevel, 10));
  EXPECT_EQ("Release", Text(kKindLevel, 11));

  // The service's status records and the tray's titles and line formats.
  EXPECT_EQ("Start Service", Text(kKindCategory, 100));
  EXPECT_EQ("Stop Service", Text(kKindCategory, 101));
  EXPECT_EQ("Start to Shutdown", Text(kKindCategory, 103));
  EXPECT_EQ(" Version Information", Text(kKindCategory, 105));
  EXPECT_EQ("Unknown", Text(kKindCategory, 107));
  EXPECT_EQ("System Information", Text(kKindCategory, 110));
  EXPECT_EQ("Rated Information", Text(kKindCategory, 120));
  EXPECT_EQ("Product : %s", Text(kKindCategory, 106));
  EXPECT_EQ("Model : %s", Text(kKindCategory, 111));
  EXPECT_EQ("S/N   : %s", Text(kKindCategory, 112));
  EXPECT_EQ("Power : %s", Text(kKindCategory, 113));
  EXPECT_EQ("Temp  : %s", Text(kKindCategory, 114));
  EXPECT_EQ("Capa  : %s", Text(kKindCategory, 121));
  EXPECT_EQ("Power : %s", Text(kKindCategory, 122));
  EXPECT_EQ("Volt  : %s", Text(kKindCategory, 123));
  EXPECT_EQ("Remaining : %s", Text(kKindCategory, 152));

  // Events: the first text when the event begins, the second when it ends.
  EXPECT_EQ("Mains failure: running on battery", Text(kKindEvent, 3368, 0));
  EXPECT_EQ("Mains power restored", Text(kKindEvent, 3368, 1));
  EXPECT_EQ("UPS communication lost", Text(kKindEvent, 3880, 0));
  EXPECT_EQ("UPS communication restored", Text(kKindEvent, 3880, 1));

  EXPECT_EQ("Normal operation", Text(kKindState, 0));
  EXPECT_EQ("UPS temperature", Text(kKindMeasurement, 88, 0));
  EXPECT_EQ("deg C", Text(kKindMeasurement, 88, 1));

  // A number with no record falls back to the category 107 text.
  EXPECT_EQ("Unknown", Text(kKindEvent, 4000));
}

TEST_F(ShippedFilesTest, JapaneseTextsInCodePage932) {
  ASSERT_EQ(1, Load(""));
  const std::string info = Bytes({0x8F, 0xEE, 0x95, 0xF1});  // 情報
  EXPECT_EQ(info, Text(kKindLevel, 1));
  EXPECT_EQ(Bytes({0x92, 0x8D, 0x88, 0xD3}), Text(kKindLevel, 2));   // 注意
  EXPECT_EQ(Bytes({0x8C, 0x78, 0x95, 0xF1}), Text(kKindLevel, 3));   // 警報
  EXPECT_EQ(Bytes({0x94, 0xAD, 0x90, 0xB6}), Text(kKindLevel, 10));  // 発生
  EXPECT_EQ(Bytes({0x95, 0x9C, 0x8B, 0x8C}), Text(kKindLevel, 11));  // 復旧

  // 不明, and the same text where a number has no record.
  const std::string unknown = Bytes({0x95, 0x73, 0x96, 0xBE});
  EXPECT_EQ(unknown, Text(kKindCategory, 107));
  EXPECT_EQ(unknown, Text(kKindEvent, 4000));
  // " バージョン情報": a blank, then the text, after "ZEP" in record 100.
  EXPECT_EQ(
      " " +
          Bytes({0x83, 0x6F, 0x81, 0x5B, 0x83, 0x57, 0x83, 0x87, 0x83, 0x93}) +
          info,
      Text(kKindCategory, 105));
  // 製品 : %s
  EXPECT_EQ(Bytes({0x90, 0xBB, 0x95, 0x69}) + " : %s",
            Text(kKindCategory, 106));
  // 停電: バッテリ運転中 / 復電
  EXPECT_EQ(Bytes({0x92, 0xE2, 0x93, 0x64}) + ": " +
                Bytes({0x83, 0x6F, 0x83, 0x62, 0x83, 0x65, 0x83, 0x8A, 0x89,
                       0x5E, 0x93, 0x5D, 0x92, 0x86}),
            Text(kKindEvent, 3368, 0));
  EXPECT_EQ(Bytes({0x95, 0x9C, 0x93, 0x64}), Text(kKindEvent, 3368, 1));
}

TEST_F(ShippedFilesTest, EveryNeededRecordIsThereInBothLanguages) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.name);
    ASSERT_EQ(1, Load(language.suffix));
    for (int level : {1, 2, 3, 10, 11}) {
      EXPECT_TRUE(Has(kKindLevel, level)) << "level " << level;
      EXPECT_FALSE(Text(kKindLevel, level).empty()) << "level " << level;
    }
    for (int category : kCategories) {
      EXPECT_TRUE(Has(kKindCategory, category)) << "category " << category;
      EXPECT_FALSE(Text(kKindCategory, category).empty())
          << "category " << category;
    }
    for (int code : kEventCodes) {
      ASSERT_TRUE(Has(kKindEvent, code)) << "event " << code;
      std::string began = Text(kKindEvent, code, 0);
      std::string ended = Text(kKindEvent, code, 1);
      EXPECT_FALSE(began.empty()) << "event " << code;
      EXPECT_FALSE(ended.empty()) << "event " << code;
      EXPECT_NE(began, ended) << "event " << code;
    }
    for (int tag : kMeterTags) {
      EXPECT_TRUE(Has(kKindMeasurement, tag)) << "tag " << tag;
      EXPECT_FALSE(Text(kKindMeasurement, tag, 0).empty()) << "tag " << tag;
      EXPECT_FALSE(Text(kKindMeasurement, tag, 1).empty()) << "tag " << tag;
    }
  }
}

TEST_F(ShippedFilesTest, LineFormatsKeepExactlyOnePercentS) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.name);
    ASSERT_EQ(1, Load(language.suffix));
    for (int category : kLineFormats) {
      std::string text = Text(kKindCategory, category);
      size_t first = text.find('%');
      ASSERT_NE(std::string::npos, first) << "category " << category;
      EXPECT_EQ("%s", text.substr(first, 2)) << "category " << category;
      EXPECT_EQ(std::string::npos, text.find('%', first + 1))
          << "category " << category;
    }
  }
}

// State numbers share a table with the events and are found first, so a
// state with an event's number would hide the event's text (and the reverse
// for zepe -s). States also stay below 256, the limit of the state lookup.
TEST_F(ShippedFilesTest, StatesAndEventsDoNotShareNumbers) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(language.name);
    MessageRecord states[256];
    int n = ParseMessageFile(
        states, 256, (dir_ + "status" + language.suffix + ".msg").c_str());
    ASSERT_GT(n, 0);
    std::set<int> events(std::begin(kEventCodes), std::end(kEventCodes));
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(0u, events.count(states[i].identifier))
          << "state " << states[i].identifier;
      EXPECT_LT(states[i].identifier, 256);
    }
  }
}

// The raw lines, not the parsed records (the reader cuts long texts, which
// would hide a text that is too long): every record line is in the safe
// form id,"text","text", and each text fits 127 bytes. The scripts split
// zepe's comma-separated line, so no text holds a comma either.
TEST_F(ShippedFilesTest, RecordLinesAreInTheSafeFormWithin127Bytes) {
  for (const Language& language : kLanguages) {
    for (const char* base : kBaseNames) {
      const std::string name = std::string(base) + language.suffix + ".msg";
      SCOPED_TRACE(name);
      std::string raw = ReadRaw(name);
      ASSERT_FALSE(raw.empty());
      std::istringstream lines(raw);
      std::string line;
      int records = 0;
      while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] < '0' || line[0] > '9') continue;
        ++records;
        size_t comma = line.find(',');
        ASSERT_NE(std::string::npos, comma) << line;
        std::string rest = line.substr(comma + 1);
        // "first","second"
        ASSERT_GE(rest.size(), 5u) << line;
        ASSERT_EQ('"', rest.front()) << line;
        ASSERT_EQ('"', rest.back()) << line;
        size_t middle = rest.find("\",\"");
        ASSERT_NE(std::string::npos, middle) << line;
        std::string first = rest.substr(1, middle - 1);
        std::string second = rest.substr(middle + 3, rest.size() - middle - 4);
        for (const std::string& text : {first, second}) {
          EXPECT_LE(text.size(), 127u) << line;
          EXPECT_EQ(std::string::npos, text.find('"')) << line;
          EXPECT_EQ(std::string::npos, text.find(',')) << line;
        }
      }
      EXPECT_GT(records, 0);
    }
  }
}

TEST_F(ShippedFilesTest, ConfigHasTheVersionAndTheLoaderDefaults) {
  EXPECT_EQ("ZEP_VERSION=1.1.0.2", ConfigEntry("PRODUCT", "ZEP_VERSION"));
  // Written out: the keys the loaders give a default anyway.
  EXPECT_EQ("ZEP_UPS_DELAY=2", ConfigEntry("CONFIG", "ZEP_UPS_DELAY"));
  EXPECT_EQ("ZEP_UPS_RESTART=1", ConfigEntry("CONFIG", "ZEP_UPS_RESTART"));
  EXPECT_EQ("ZEP_EXEC_WAIT=5", ConfigEntry("CONFIG", "ZEP_EXEC_WAIT"));
  EXPECT_EQ("ZEP_POPUP=1", ConfigEntry("CONFIG", "ZEP_POPUP"));
  EXPECT_EQ("ZEP_GUI_CYCLE=5000", ConfigEntry("CONFIG", "ZEP_GUI_CYCLE"));
  // Commented out, so that the built-in rule or a value set in the
  // environment before the start applies.
  for (const char* key : {"ZEP_LANG", "ZEP_PORT", "ZEP_MAX_PORT",
                          "ZEP_FIXED_FLAG", "ZEP_MON_CYCLE", "ZEP_METER_CYCLE",
                          "ZEP_PF_WAIT", "ZEP_LB_WAIT", "ZEP_AWAY_MODE",
                          // The NUT server stays off until asked for.
                          "ZEP_NUT_LISTEN", "ZEP_NUT_PORT", "ZEP_NUT_UPS",
                          "ZEP_NUT_USER", "ZEP_NUT_PASSWORD",
                          "ZEP_NUT_HOSTSYNC"}) {
    EXPECT_EQ("0", ConfigEntry("CONFIG", key)) << key;
    // ... but shown with its default, ready to be switched on.
    EXPECT_NE(std::string::npos,
              ReadRaw("ZEP.conf").find(std::string("\n;") + key + "="))
        << key;
  }
}

}  // namespace
}  // namespace zep
