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
  } cases[] = {{"12", 12},
               {"12.0", 120},
               {"230.5", 2305},
               {"049.9", 499},
               {" 7", 7},
               {"12 3.4", 120},  // a point anywhere in the text counts
               {"0.05", 1},
               {"2.34", 23},   // half up: 0.5 -> 1, 23.4 -> 23
               {"-1.5", -15},  // halves go away from zero
               {"99999999999", INT_MAX}};
  for (const auto& c : cases) {
    int value = -7;
    EXPECT_EQ(1, ReadTenths(c.text, &value)) << c.text;
    EXPECT_EQ(c.expected, value) << c.text;
  }
  for (const char* text : {"abc", "", ".", "-", "FFFFFFFF"}) {
    int value = 42;
    EXPECT_EQ(0, ReadTenths(text, &value)) << text;
    EXPECT_EQ(42, value) << text;
  }
}

TEST(ReadFieldTest, ReadsSpaceSeparatedFields) {
  const char text[] = " 230.0 049.9";
  int value = -1;
  EXPECT_EQ(7, ReadField(&value, text));  // 1 space, 5 characters, 1 space
  EXPECT_EQ(2300, value);
  EXPECT_EQ(0, ReadField(&value, text + 7));  // no space after the last
  EXPECT_EQ(2300, value);
  EXPECT_STREQ(" 230.0 049.9", text);
  EXPECT_EQ(6, ReadField(&value, "  -01 7"));  // negative: value kept
  EXPECT_EQ(9, ReadField(&value, "FFFFFFFF 1"));
  EXPECT_EQ(2300, value);
}

std::string Cut(const char* text, bool binary_ups, int* length,
                size_t size = 32) {
  char out[32];
  *length = CutModelText(out, size, text, binary_ups);
  return out;
}

TEST(CutModelTextTest, AsciiAndBinaryModels) {
  const struct {
    const char* text;
    bool binary;
    const char* model;
    int length;
  } cases[] = {
      {"T-PWR15J1", false, "T-PWR15J1", 9},           // "J": 2 after it
      {"T-PWR30A1S extra", false, "T-PWR30A1S", 10},  // "A": 3 after it
      {"T-PWR10R-2XYZ", false, "T-PWR10R-2", 10},
      {"T-PWR20L", false, "T-PWR20L", 8},  // other letter: whole text
      // From index 5 over "1500", "J" stepped over, c at index 10.
      {"ZPX-A1500JC    ", true, "ZPX-A1500JC", 11},
      {"ZPX-A1500JR2/30 Q", true, "ZPX-A1500JR2/30", 15},
      {"ZPX-A1500", true, "ZPX-A1500", 9},  // the 9 characters of "&M"
      {"xxZPX", true, "xxZPX", 5},
      // No marker: the whole text, cut before the last run of spaces.
      {"T-PWR15J1 ZZ", true, "T-PWR15J1", 12},
      {"AB CD", false, "AB", 5},
      {" ABC", false, "", 4},
  };
  for (const auto& c : cases) {
    int length = -1;
    EXPECT_EQ(c.model, Cut(c.text, c.binary, &length)) << c.text;
    EXPECT_EQ(c.length, length) << c.text;
  }
  int length = 0;
  EXPECT_EQ("T-PWR", Cut("T-PWR15J1", false, &length, 6));  // what fits
  EXPECT_EQ(9, length);
}

TEST(FixedFieldsTest, CopyFixedRatingRecordAndThreeDigits) {
  char out[8];
  EXPECT_EQ(7, CopyFixed(out, sizeof out, "01.23  xyz", true));
  EXPECT_STREQ("01.23", out);
  EXPECT_EQ(3, CopyFixed(out, sizeof out, "1.2xyz", false));
  EXPECT_STREQ("1.2", out);
  EXPECT_EQ(7, CopyFixed(out, sizeof out, "       ", true));
  EXPECT_STREQ(" ", out);  // never the first character
  EXPECT_EQ(7, CopyFixed(out, 4, "ABCDEFG", true));
  EXPECT_STREQ("ABC", out);

  const char in[] = {'\x01', '\x02', '\x00', '\x04', '\x05', 'z'};
  char record[6];
  EXPECT_EQ(5, CopyRatingRecord(record, sizeof record, in));
  EXPECT_EQ(0, std::memcmp(in, record, 5));
  EXPECT_EQ('\0', record[5]);

  int value = -9;
  EXPECT_EQ(3, ReadThreeDigits(&value, "0951"));
  EXPECT_EQ(95, value);
  EXPECT_EQ(3, ReadThreeDigits(&value, "-01"));
  EXPECT_EQ(-1, value);
  EXPECT_EQ(3, ReadThreeDigits(&value, "abc"));
  EXPECT_EQ(-1, value);
}

}  // namespace
}  // namespace zep
