#include "picture_format.h"

#include <gtest/gtest.h>

namespace zep {
namespace {

// Monday 2026-03-02 07:04:05.
LocalTime Morning() {
  LocalTime t;
  t.year = 2026;
  t.month = 3;
  t.day = 2;
  t.day_of_week = 1;
  t.hour = 7;
  t.minute = 4;
  t.second = 5;
  return t;
}

TEST(PictureFormatTest, DatePictures) {
  LocalTime t = Morning();
  EXPECT_EQ(FormatDatePicture("yyyy/MM/dd", t), "2026/03/02");
  EXPECT_EQ(FormatDatePicture("d/M/yy", t), "2/3/26");
  EXPECT_EQ(FormatDatePicture("y", t), "26");
  EXPECT_EQ(FormatDatePicture("ddd, MMM d", t), "Mon, Mar 2");
  EXPECT_EQ(FormatDatePicture("dddd, MMMM dd yyyyy", t), "Monday, March 02 2026");
  EXPECT_EQ(FormatDatePicture("gg yyyy", t), "A.D. 2026");
}

TEST(PictureFormatTest, TimePictures) {
  LocalTime t = Morning();
  EXPECT_EQ(FormatTimePicture("HH:mm:ss", t), "07:04:05");
  EXPECT_EQ(FormatTimePicture("H:m:s", t), "7:4:5");
  EXPECT_EQ(FormatTimePicture("hh:mm tt", t), "07:04 AM");
  t.hour = 0;
  EXPECT_EQ(FormatTimePicture("h t", t), "12 A");
  t.hour = 13;
  EXPECT_EQ(FormatTimePicture("h:mm tt", t), "1:04 PM");
  EXPECT_EQ(FormatTimePicture("HH", t), "13");
}

TEST(PictureFormatTest, QuotedTextAndOtherLetters) {
  LocalTime t = Morning();
  EXPECT_EQ(FormatDatePicture("'day' d 'o''clock'", t), "day 2 o'clock");
  // Time letters mean nothing in a date picture, and date letters nothing in
  // a time picture.
  EXPECT_EQ(FormatDatePicture("HH-d", t), "HH-2");
  EXPECT_EQ(FormatTimePicture("yy HH", t), "yy 07");
  // An unclosed quote runs to the end.
  EXPECT_EQ(FormatTimePicture("H 'at", t), "7 at");
}

}  // namespace
}  // namespace zep
