#include "converter.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace zep {
namespace {

// Answers look-ups from a small table, as the service would, and records
// every call so the tests can check what was asked and in which order.
class FakeIo : public ConverterIo {
 public:
  std::map<std::tuple<int, int, int>, std::string> texts;
  std::vector<std::tuple<int, int, int>> lookups;
  std::vector<std::string> sounds;

  int LookUp(int table, int identifier, int column, std::string* text) override {
    lookups.emplace_back(table, identifier, column);
    auto found = texts.find({table, identifier, column});
    if (found == texts.end()) return -1;
    *text = found->second;
    return static_cast<int>(text->size());
  }
  bool ShortDate(std::string* out) override { *out = "2026/12/07"; return true; }
  bool Time24(std::string* out) override { *out = "21:05:09"; return true; }
  bool DatePicture(const std::string& picture, std::string* out) override {
    *out = "D[" + picture + "]";
    return true;
  }
  bool TimePicture(const std::string&, std::string*) override { return false; }
  void Beep(int frequency, int ms) override {
    sounds.push_back("beep " + std::to_string(frequency) + " " + std::to_string(ms));
  }
  void Pause(int ms) override { sounds.push_back("pause " + std::to_string(ms)); }
};

int Convert(std::vector<const char*> args, FakeIo& io, std::string* out) {
  args.insert(args.begin(), "zepe");
  return ConvertOptions(static_cast<int>(args.size()), args.data(), io, out);
}

TEST(ConverterTest, ReadsNumbersLikeTheModule) {
  EXPECT_EQ(ReadOptionNumber("42"), 42);
  EXPECT_EQ(ReadOptionNumber("  -5x"), -5);
  EXPECT_EQ(ReadOptionNumber("+7"), 7);
  EXPECT_EQ(ReadOptionNumber("abc"), 0);
  EXPECT_EQ(ReadOptionNumber("-c"), 0);
  EXPECT_EQ(ReadOptionNumber("99999999999"), 2147483647);
}

TEST(ConverterTest, DateTimeAndLookupsInOrderWithCount) {
  FakeIo io;
  io.texts[{0, 3, 0}] = "Fault";
  io.texts[{1, 31, 0}] = "Battery";
  std::string out;
  int count = Convert({"-d", "x", "-t", "x", "-l", "3", "-c", "31"}, io, &out);
  EXPECT_EQ(out, "2026/12/07,21:05:09,Fault,Battery");
  // Four options, then every printed character: 10 + 9 + 6 + 8 = 33.
  EXPECT_EQ(count, 4 + 33);
  ASSERT_EQ(io.lookups.size(), 2u);
  EXPECT_EQ(io.lookups[0], std::make_tuple(0, 3, 0));
  EXPECT_EQ(io.lookups[1], std::make_tuple(1, 31, 0));
}

TEST(ConverterTest, NegativeNumberIsAValueButAnOptionIsNot) {
  FakeIo io;
  std::string out;
  // "-5" belongs to "-l"; the service has no text, so the value is printed.
  EXPECT_EQ(Convert({"-l", "-5"}, io, &out), 1 + 2);
  EXPECT_EQ(out, "-5");
  ASSERT_EQ(io.lookups.size(), 1u);
  EXPECT_EQ(io.lookups[0], std::make_tuple(0, -5, 0));

  FakeIo io2;
  io2.texts[{1, 3, 0}] = "Input";
  std::string out2;
  // "-l" has no value and is skipped; "-c 3" prints the category text.
  EXPECT_EQ(Convert({"-l", "-c", "3"}, io2, &out2), 1 + 5);
  EXPECT_EQ(out2, "Input");
}

TEST(ConverterTest, ReleaseSelectsLevelElevenAndTheSecondEventColumn) {
  FakeIo io;
  io.texts[{0, 11, 0}] = "Release";
  io.texts[{3, 200, 1}] = "Mains back";
  std::string out;
  Convert({"-o", "0", "-i", "200"}, io, &out);
  EXPECT_EQ(out, "Release,\"Mains back\"");
  ASSERT_EQ(io.lookups.size(), 2u);
  EXPECT_EQ(io.lookups[0], std::make_tuple(0, 11, 0));
  EXPECT_EQ(io.lookups[1], std::make_tuple(3, 200, 1));

  FakeIo io2;
  std::string out2;
  Convert({"-o", "1", "-i", "7", "-i", "8"}, io2, &out2);
  EXPECT_EQ(io2.lookups[0], std::make_tuple(0, 10, 0));
  EXPECT_EQ(io2.lookups[1], std::make_tuple(3, 7, 0));
  EXPECT_EQ(io2.lookups[2], std::make_tuple(3, 8, 0));
}

TEST(ConverterTest, BeepInRangeAndPauseOutside) {
  FakeIo io;
  std::string out;
  EXPECT_EQ(Convert({"-b", "1000", "-b", "10", "-b", "37", "-b", "32768"}, io, &out),
            4 + 4 + 3 + 3 + 6);
  EXPECT_EQ(out, "1000,10,37,32768");
  std::vector<std::string> expected = {"beep 1000 100", "pause 100", "beep 37 100",
                                       "pause 100"};
  EXPECT_EQ(io.sounds, expected);
  EXPECT_TRUE(io.lookups.empty());
}

TEST(ConverterTest, PicturesUnknownLettersAndStrayTokens) {
  FakeIo io;
  std::string out;
  // "x" and "y" are not options; "-T" fails to format and keeps its value;
  // "-q" is an unknown letter and prints its value.
  Convert({"x", "-D", "yyyy", "y", "-T", "HH", "-q", "word"}, io, &out);
  EXPECT_EQ(out, "D[yyyy],HH,word");
  EXPECT_TRUE(io.lookups.empty());
}

TEST(ConverterTest, NoOptionGivesZero) {
  FakeIo io;
  std::string out;
  EXPECT_EQ(Convert({"x", "y"}, io, &out), 0);
  EXPECT_EQ(out, "");
  // A trailing option without any token after it is skipped.
  EXPECT_EQ(Convert({"-l"}, io, &out), 0);
}

TEST(ConverterTest, LongQuotedResultStillFitsTheBuffer) {
  FakeIo io;
  std::string words(300, 'a');
  words[5] = ' ';
  io.texts[{1, 1, 0}] = words;
  std::string out;
  Convert({"-c", "1"}, io, &out);
  ASSERT_EQ(out.size(), 260u);
  EXPECT_EQ(out.front(), '"');
  EXPECT_EQ(out.back(), '"');
  EXPECT_EQ(out.substr(1, 258), words.substr(0, 258));

  FakeIo io2;
  io2.texts[{1, 1, 0}] = std::string(300, 'b');
  std::string out2;
  Convert({"-c", "1"}, io2, &out2);
  EXPECT_EQ(out2, std::string(260, 'b'));
}

TEST(ConverterTest, UsageLineIsExact) {
  EXPECT_EQ(UsageLine(),
            "zepe -l <level> -o <occ/rel> -s <state> -c <category> -i <id> to run as a "
            "convert ID to messages\n");
}

}  // namespace
}  // namespace zep
