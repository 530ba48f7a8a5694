// Message files and their lookups. The expected texts are worked out by
// hand from the lines written in each case.

#include "message_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "scratch_files.h"

namespace zep {
namespace {

class MessageFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // Parses `text` as a file into records_ and returns the count.
  int Parse(const std::string& text, int capacity = 10) {
    for (MessageRecord& r : records_) r = MessageRecord();
    std::string path = dir_.Write("test.msg", text);
    return ParseMessageFile(records_, capacity, path.c_str());
  }

  // Record i of the last parse as "identifier|first text|second text".
  std::string Rec(int i) {
    const MessageRecord& r = records_[i];
    return std::to_string(r.identifier) + "|" + r.first_text + "|" +
           r.second_text;
  }

  // Writes the five files with the given suffix and state and event lines.
  void WriteSet(const std::string& suffix, const std::string& status,
                const std::string& event) {
    dir_.Write("level" + suffix + ".msg", "1,\"Information\",\"I\"\n");
    dir_.Write("category" + suffix + ".msg",
               "100,\"Start Service" + suffix + "\",\"\"\n");
    dir_.Write("status" + suffix + ".msg", status);
    dir_.Write("event" + suffix + ".msg", event);
    dir_.Write("meter" + suffix + ".msg", "88,\"Temperature\",\"C\"\n");
  }

  std::string Lookup(int kind, int id, int selector = 0) {
    char out[kMessageTextSize] = "<untouched>";
    int index = LookupMessage(*tables_, out, sizeof out, kind, id, selector);
    if (index < 0) return "<none>";
    return std::to_string(index) + ":" + out;
  }

  std::string Message(int kind, int id, int selector,
                      const char* default_text) {
    char out[kMessageBufferSize] = "<untouched>";
    int n =
        GetMessage(*tables_, out, sizeof out, kind, id, selector, default_text);
    return std::to_string(n) + ":" + out;
  }

  ScratchDir dir_;
  MessageRecord records_[10];
  std::unique_ptr<MessageTables> tables_ = std::make_unique<MessageTables>();
};

TEST_F(MessageFilesTest, QuotedAndUnquotedTexts) {
  ASSERT_EQ(7, Parse("100,\"Start Service\",\"started\"\n"
                     "101,  Stop Service  ,  stopped  \n"
                     "102,a, b  , c\n"
                     "103, only text  \n"
                     "104,\"quoted only\"\n"
                     "105,\"a,b\",\"c,d\"\n"
                     "106,\"x\" junk ,second\n"));
  EXPECT_EQ("100|Start Service|started", Rec(0));
  // Unquoted: the first text loses its blanks, the second only its leading
  // ones and keeps the line feed.
  EXPECT_EQ("101|Stop Service|stopped  \n", Rec(1));
  // The unquoted second text loses only the blanks before its next ",".
  EXPECT_EQ("102|a|b, c\n", Rec(2));
  // An unquoted first text with no further "," runs to the line's end.
  EXPECT_EQ("103|only text  \n|", Rec(3));
  EXPECT_EQ("104|quoted only|", Rec(4));
  EXPECT_EQ("105|a,b|c,d", Rec(5));
  // After a quoted text, the second starts behind the next ",".
  EXPECT_EQ("106|x|second\n", Rec(6));
}

TEST_F(MessageFilesTest, LinesThatAreNotRecords) {
  ASSERT_EQ(3, Parse("; a comment\nlevel,text\n12 no comma\n\n"
                     "7,\"open quote\n8,\"closed\",\"open\n"
                     "  -3,\"negative\"\n+4x,\"sign\"\n\t9,tab\n"));
  EXPECT_EQ("-3|negative|", Rec(0));
  EXPECT_EQ("4|sign|", Rec(1));
  EXPECT_EQ("9|tab\n|", Rec(2));
}

TEST_F(MessageFilesTest, LineEndsPiecesAndLongTexts) {
  // Windows line ends: the CR goes, the line feed of an unquoted text stays.
  ASSERT_EQ(2, Parse("1,\"x\",\"y\"\r\n2,a,b\r\n"));
  EXPECT_EQ("1|x|y", Rec(0));
  EXPECT_EQ("2|a|b\n", Rec(1));

  // Texts are cut to 127 characters (a piece holds 260, so one line cannot
  // carry two such texts).
  std::string x200(200, 'x');
  std::string x127(127, 'x');
  ASSERT_EQ(2, Parse("5,\"" + x200 + "\"\n6,a," + x200 + "\n"));
  EXPECT_EQ("5|" + x127 + "|", Rec(0));
  EXPECT_EQ("6|a|" + x127, Rec(1));

  // The rest of a line of more than 260 characters is skipped, and said.
  std::string problem;
  std::string path = dir_.Write(
      "long.msg", "1," + std::string(258, 'a') + "2,\"tail\"\n3,\"c\"\n");
  ASSERT_EQ(2, ParseMessageFile(records_, 10, path.c_str(), &problem));
  EXPECT_EQ("1|" + std::string(127, 'a') + "|", Rec(0));
  EXPECT_EQ("3|c|", Rec(1));
  EXPECT_EQ("line 1 is longer than 260 characters; the rest of it is ignored",
            problem);
}

TEST_F(MessageFilesTest, ParseResults) {
  EXPECT_EQ(0, Parse(""));
  EXPECT_EQ(-1, ParseMessageFile(records_, 10, nullptr));
  EXPECT_EQ(-1,
            ParseMessageFile(records_, 10, dir_.PathOf("missing.msg").c_str()));
  // A full table stops the reading; the record behind it stays untouched.
  EXPECT_EQ(2, Parse("1,a\n2,b\n3,c\n", 2));
  EXPECT_EQ(2, records_[1].identifier);
  EXPECT_EQ(0, records_[2].identifier);
  EXPECT_EQ(0, Parse("1,a\n", 0));
}

TEST_F(MessageFilesTest, LoadAllFiveAndLookUpEachKind) {
  WriteSet("_en", "3,\"On Battery\",\"OB\"\n", "3368,\"Mains failed\",\"\"\n");
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), "_en"));
  EXPECT_EQ("0:Information", Lookup(kKindLevel, 1));
  EXPECT_EQ("0:I", Lookup(kKindLevel, 1, 1));
  EXPECT_EQ("0:Start Service_en", Lookup(kKindCategory, 100));
  EXPECT_EQ("0:On Battery", Lookup(kKindState, 3));
  EXPECT_EQ("1:Mains failed", Lookup(kKindEvent, 3368));
  EXPECT_EQ("0:Temperature", Lookup(kKindMeasurement, 88));
  EXPECT_EQ("0:C", Lookup(kKindMeasurement, 88, 3));
}

TEST_F(MessageFilesTest, FailedLoadClearsEverything) {
  WriteSet("", "3,\"On Battery\"\n", "");
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  ASSERT_EQ(4, SetInfoString(&tables_->info_strings, 4, "1500"));
  ASSERT_EQ("0:On Battery", Lookup(kKindState, 3));

  // The English set lacks its meter file.
  WriteSet("_en", "3,\"On Battery\"\n", "");
  std::filesystem::remove(dir_.PathOf("meter_en.msg"));
  EXPECT_EQ(-1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), "_en"));
  EXPECT_EQ("<none>", Lookup(kKindState, 3));
  EXPECT_EQ("<none>", Lookup(kKindLevel, 1));
  EXPECT_FALSE(GetInfoString(tables_->info_strings, 4, nullptr, 0));

  // Falling back to the files without a suffix, which is said.
  std::string problems;
  EXPECT_EQ(1, LoadMessageFilesWithFallback(tables_.get(), dir_.Directory(),
                                            "_en", &problems));
  EXPECT_EQ("0:Start Service", Lookup(kKindCategory, 100));
  EXPECT_EQ(
      "meter_en.msg cannot be opened (No such file or directory); the files "
      "without a language suffix are used",
      problems);
  problems.clear();
  EXPECT_EQ(-1, LoadMessageFilesWithFallback(
                    tables_.get(), dir_.PathOf("none") + PathSeparator(), "_en",
                    &problems));
  EXPECT_EQ(
      "level_en.msg cannot be opened (No such file or directory); level.msg "
      "cannot be opened (No such file or directory); the built-in texts are "
      "used",
      problems);
}

std::string Records(int first_id, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(first_id + i) + ",\"r" +
            std::to_string(first_id + i) + "\"\n";
  }
  return text;
}

TEST_F(MessageFilesTest, StatesAndEventsShareOneTable) {
  // 250 states leave room for 6 events.
  WriteSet("", Records(1, 250), Records(1000, 10));
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  EXPECT_EQ("250:r1000", Lookup(kKindEvent, 1000));
  EXPECT_EQ("255:r1005", Lookup(kKindEvent, 1005));
  EXPECT_EQ("<none>", Lookup(kKindEvent, 1006));
  EXPECT_EQ("249:r250", Lookup(kKindState, 250));

  // A state file that fills the table leaves no room at all.
  WriteSet("", Records(1, 256), Records(1000, 1));
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  EXPECT_EQ("<none>", Lookup(kKindEvent, 1000));
  EXPECT_EQ("255:r256", Lookup(kKindEvent, 256));
  // Kind 2 stops at identifier 256 even where a record has it.
  EXPECT_EQ("<none>", Lookup(kKindState, 256));

  // Without states, events have all 256 records.
  WriteSet("", "", Records(1000, 256));
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  EXPECT_EQ("255:r1255", Lookup(kKindEvent, 1255));
}

TEST_F(MessageFilesTest, LookupRules) {
  WriteSet("", "3,\"On Battery\",\"OB\"\n", "300,\"Event 300\",\"second\"\n");
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  // Identifier 300 is an event: kind 2 refuses it, kind 3 finds it.
  EXPECT_EQ("<none>", Lookup(kKindState, 300));
  EXPECT_EQ("1:Event 300", Lookup(kKindEvent, 300));
  // Even selectors give the first text, odd ones the second.
  EXPECT_EQ("1:second", Lookup(kKindEvent, 300, 1));
  EXPECT_EQ("1:Event 300", Lookup(kKindEvent, 300, 2));
  EXPECT_EQ("1:second", Lookup(kKindEvent, 300, 3));
  // A negative selector finds the record but copies nothing.
  EXPECT_EQ("1:<untouched>", Lookup(kKindEvent, 300, -1));
  // Identifier 0 matches the first unfilled record of a table not full.
  EXPECT_EQ("1:", Lookup(kKindLevel, 0));
  EXPECT_EQ("2:", Lookup(kKindState, 0));
  EXPECT_EQ("<none>", Lookup(kKindLevel, -1));
  EXPECT_EQ("<none>", Lookup(-1, 1));
  EXPECT_EQ("<none>", Lookup(6, 1));
  EXPECT_EQ("<none>", Lookup(kKindLevel, 2));
  // The copy fits the buffer given.
  char small[4];
  EXPECT_EQ(0, LookupMessage(*tables_, small, sizeof small, kKindState, 3, 0));
  EXPECT_STREQ("On ", small);
  EXPECT_EQ(0, LookupMessage(*tables_, nullptr, 0, kKindState, 3, 0));
}

TEST_F(MessageFilesTest, LookupOfInformationItems) {
  InfoStrings& info = tables_->info_strings;
  ASSERT_EQ(4, SetInfoString(&info, 4, "1500"));
  EXPECT_EQ("4:1500", Lookup(kKindInfo, 4));
  EXPECT_EQ("4:", Lookup(kKindInfo, 4, 1));
  EXPECT_EQ("<none>", Lookup(kKindInfo, 7));
  EXPECT_EQ("0:", Lookup(kKindInfo, 0));
  EXPECT_EQ("<none>", Lookup(kKindInfo, 30));
}

TEST_F(MessageFilesTest, GetMessageFallbacks) {
  WriteSet("", "3,\"On Battery\",\"\"\n", "");
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  EXPECT_EQ("10:On Battery", Message(kKindState, 3, 0, "????"));
  EXPECT_EQ("4:????", Message(kKindState, 4, 0, "????"));
  // Defaults are copied literally, never used as a format.
  EXPECT_EQ("4:%s%n", Message(kKindState, 4, 0, "%s%n"));
  // No default, and no category 107.
  EXPECT_EQ("7:Unknown", Message(kKindState, 4, 0, nullptr));
  EXPECT_EQ("7:Unknown", Message(kKindState, 4, 0, ""));
  // A record found with an empty text gives 0 and leaves the buffer.
  EXPECT_EQ("0:<untouched>", Message(kKindState, 3, 1, "????"));
  EXPECT_EQ("0:<untouched>", Message(kKindMeasurement, 0, 0, "????"));
  // Without a buffer only the length comes back.
  EXPECT_EQ(10, GetMessage(*tables_, nullptr, 0, kKindState, 3, 0, nullptr));
  // A short buffer gets a cut, terminated text.
  char small[5];
  EXPECT_EQ(
      4, GetMessage(*tables_, small, sizeof small, kKindState, 3, 0, nullptr));
  EXPECT_STREQ("On B", small);

  // With a category 107, its first text stands for "unknown".
  dir_.Write("category.msg", "107,\"Unbekannt\",\"x\"\n");
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  EXPECT_EQ("9:Unbekannt", Message(kKindEvent, 999, 0, nullptr));
  EXPECT_EQ("4:????", Message(kKindEvent, 999, 0, "????"));
  // An empty category 107 gives nothing rather than "Unknown".
  dir_.Write("category.msg", "107,\"\",\"x\"\n");
  ASSERT_EQ(1, LoadMessageFilesFrom(tables_.get(), dir_.Directory(), ""));
  EXPECT_EQ("0:<untouched>", Message(kKindEvent, 999, 0, nullptr));
}

TEST(LanguageSuffixTest, FormedFromTheSetting) {
  EXPECT_EQ("", LanguageSuffix(nullptr));
  EXPECT_EQ("", LanguageSuffix(""));
  EXPECT_EQ("_en", LanguageSuffix("en"));
  EXPECT_EQ("_de", LanguageSuffix("_de"));

  EnvironmentGuard env({"ZEP_LANG"});
  EXPECT_EQ("", LanguageSuffixFromSettings());
  ASSERT_EQ(0, PutEnvironmentText("ZEP_LANG=en"));
  EXPECT_EQ("_en", LanguageSuffixFromSettings());
}

}  // namespace
}  // namespace zep
