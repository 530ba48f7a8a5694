#include "protocol/answer_fields.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace zep {
namespace {

TEST(ReadTenthsTest, PointDecidesTheUnit) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"12", 12},      {"12.0", 120},  {"230.5", 2305}, {"50", 50},
      {"049.9", 499},  {" 7", 7},      {"12.", 120},    {".5", 5},
      // A point anywhere in the text counts.
      {"12 3.4", 120},
      // Half up on the magnitude: 0.05 x 10 = 0.5 -> 1; 2.34 -> 23.4 -> 23.
      {"0.05", 1},     {"2.34", 23},   {"2.35", 24},
      // Halves go away from zero for negatives too: -1.5 -> -15.
      {"-1.5", -15},   {"-12", -12},
      {"99999999999", INT_MAX},
  };
  for (const auto& c : cases) {
    int value = -7;
    EXPECT_EQ(1, ReadTenths(c.text, &value)) << c.text;
    EXPECT_EQ(c.expected, value) << c.text;
  }
}

TEST(ReadTenthsTest, NoNumberLeavesTheValue) {
  for (const char* text : {"abc", "", ".", "-", " x1", "FFFFFFFF"}) {
    int value = 42;
    EXPECT_EQ(0, ReadTenths(text, &value)) << text;
    EXPECT_EQ(42, value) << text;
  }
}

TEST(ReadFieldTest, ReadsSpaceSeparatedFields) {
  const char text[] = " 230.0 049.9";
  int value = -1;
  // One space, five characters, the space after them.
  EXPECT_EQ(7, ReadField(&value, text));
  EXPECT_EQ(2300, value);
  // The last field has no space after it: only leading spaces count.
  value = -1;
  EXPECT_EQ(0, ReadField(&value, text + 7));
  EXPECT_EQ(-1, value);
  EXPECT_EQ(3, ReadField(&value, "   "));
  EXPECT_STREQ(" 230.0 049.9", text);  // The text is not changed.
}

TEST(ReadFieldTest, NegativeOrNonNumericFieldsKeepTheValue) {
  int value = 5;
  EXPECT_EQ(6, ReadField(&value, "  -01 7"));  // 2 + 3 + 1
  EXPECT_EQ(5, value);
  EXPECT_EQ(9, ReadField(&value, "FFFFFFFF 1"));
  EXPECT_EQ(5, value);
  EXPECT_EQ(4, ReadField(&value, "045 "));
  EXPECT_EQ(45, value);
}

std::string Cut(const char* text, bool binary_ups, int* length,
                size_t size = 32) {
  char out[32];
  std::memset(out, 'x', sizeof out);
  *length = CutModelText(out, size, text, binary_ups);
  return out;
}

TEST(CutModelTextTest, AsciiModels) {
  int length = 0;
  // "J" at 7: the part ends 2 characters after it.
  EXPECT_EQ("T-PWR15J1", Cut("T-PWR15J1", false, &length));
  EXPECT_EQ(9, length);
  // "A" at 7: 3 characters after it, the rest dropped.
  EXPECT_EQ("T-PWR30A1S", Cut("T-PWR30A1S extra", false, &length));
  EXPECT_EQ(10, length);
  EXPECT_EQ("T-PWR10R-2", Cut("T-PWR10R-2XYZ", false, &length));
  EXPECT_EQ(10, length);
  // Another letter keeps the whole text.
  EXPECT_EQ("T-PWR20L", Cut("T-PWR20L", false, &length));
  EXPECT_EQ(8, length);
  // A part reaching past the text ends with it.
  EXPECT_EQ("T-PWR15J", Cut("T-PWR15J", false, &length));
  EXPECT_EQ(8, length);
}

TEST(CutModelTextTest, BinaryModels) {
  int length = 0;
  // From index 5 over "1500", "J" stepped over, c = "C" at 10.
  EXPECT_EQ("ZPX-A1500JC", Cut("ZPX-A1500JC    ", true, &length));
  EXPECT_EQ(11, length);
  // c = "R" at 10: 2 characters, then "/" and its digits.
  EXPECT_EQ("ZPX-A1500JR2/30", Cut("ZPX-A1500JR2/30 Q", true, &length));
  EXPECT_EQ(15, length);
  EXPECT_EQ("ZPX-A1500JR2", Cut("ZPX-A1500JR2 X", true, &length));
  EXPECT_EQ(12, length);
  // The 9 characters of "&M": no c, the whole text.
  EXPECT_EQ("ZPX-A1500", Cut("ZPX-A1500", true, &length));
  EXPECT_EQ(9, length);
  // The marker close to the end.
  EXPECT_EQ("xxZPX", Cut("xxZPX", true, &length));
  EXPECT_EQ(5, length);
  // The ASCII marker means nothing to a binary UPS, and the other way.
  EXPECT_EQ("T-PWR15J1", Cut("T-PWR15J1 ZZ", true, &length));
  EXPECT_EQ(12, length);
}

TEST(CutModelTextTest, CopyEndsBeforeTheLastRunOfSpaces) {
  int length = 0;
  EXPECT_EQ("MODEL X", Cut("MODEL X  ", false, &length));
  EXPECT_EQ(9, length);
  EXPECT_EQ("UPS 1000", Cut("UPS 1000  ", true, &length));
  EXPECT_EQ("AB", Cut("AB CD", false, &length));
  EXPECT_EQ("", Cut(" ABC", false, &length));
  EXPECT_EQ("", Cut("", false, &length));
  EXPECT_EQ(0, length);
  // A small field takes what fits.
  EXPECT_EQ("T-PWR", Cut("T-PWR15J1", false, &length, 6));
  EXPECT_EQ(9, length);
  EXPECT_EQ(9, CutModelText(nullptr, 0, "T-PWR15J1", false));
}

TEST(CopyFixedTest, CopiesAndTrimsTrailingSpaces) {
  char out[8];
  EXPECT_EQ(7, CopyFixed(out, sizeof out, "01.23  xyz", true));
  EXPECT_STREQ("01.23", out);
  EXPECT_EQ(3, CopyFixed(out, sizeof out, "1.2xyz", false));
  EXPECT_STREQ("1.2", out);
  EXPECT_EQ(7, CopyFixed(out, sizeof out, "       ", true));
  EXPECT_STREQ(" ", out);  // Never the first character.
  EXPECT_EQ(7, CopyFixed(out, sizeof out, "AB", true));
  EXPECT_STREQ("AB", out);
  EXPECT_EQ(7, CopyFixed(out, 4, "ABCDEFG", true));
  EXPECT_STREQ("ABC", out);
}

TEST(CopyRatingRecordTest, CopiesFiveBytesAndANul) {
  char out[6];
  std::memset(out, 'x', sizeof out);
  const char in[] = {'\x01', '\x02', '\x00', '\x04', '\x05', 'z'};
  EXPECT_EQ(5, CopyRatingRecord(out, sizeof out, in));
  EXPECT_EQ(0, std::memcmp(in, out, 5));
  EXPECT_EQ('\0', out[5]);
  EXPECT_EQ(5, CopyRatingRecord(out, 3, "12345"));
  EXPECT_STREQ("12", out);
}

TEST(ReadThreeDigitsTest, ReadsAtMostThreeCharacters) {
  int value = -9;
  EXPECT_EQ(3, ReadThreeDigits(&value, "0951"));
  EXPECT_EQ(95, value);
  EXPECT_EQ(3, ReadThreeDigits(&value, " 7x"));
  EXPECT_EQ(7, value);
  EXPECT_EQ(3, ReadThreeDigits(&value, "-01"));
  EXPECT_EQ(-1, value);
  EXPECT_EQ(3, ReadThreeDigits(&value, "abc"));
  EXPECT_EQ(-1, value);
  EXPECT_EQ(3, ReadThreeDigits(nullptr, "123"));
}

}  // namespace
}  // namespace zep
