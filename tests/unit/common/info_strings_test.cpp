// The information items: slot rules, bounded texts, and reads racing a
// writer (run under TSan natively).

#include "info_strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace zep {
namespace {

// The item's text, or "<none>" when GetInfoString refuses it.
std::string Get(const InfoStrings& info, int slot) {
  char out[kInfoTextSize];
  std::memset(out, '#', sizeof out);
  if (!GetInfoString(info, slot, out, sizeof out)) return "<none>";
  return out;
}

TEST(InfoStringsTest, SlotRules) {
  auto info = std::make_unique<InfoStrings>();
  // Before any value: slot 0 reads as an empty text, the others as none.
  EXPECT_EQ("", Get(*info, 0));
  EXPECT_EQ("<none>", Get(*info, 1));
  EXPECT_EQ("<none>", Get(*info, 29));
  EXPECT_EQ("<none>", Get(*info, -1));
  EXPECT_EQ("<none>", Get(*info, 30));

  EXPECT_EQ(-1, SetInfoString(info.get(), 30, "x"));
  EXPECT_EQ(-1, SetInfoString(info.get(), -1, "x"));
  EXPECT_EQ(-1, SetInfoString(nullptr, 1, "x"));
  EXPECT_EQ(29, SetInfoString(info.get(), 29, "last"));
  EXPECT_EQ("last", Get(*info, 29));

  // Setting nothing gives an empty text, which is not the same as none.
  EXPECT_EQ(1, SetInfoString(info.get(), 1, nullptr));
  EXPECT_EQ("", Get(*info, 1));
  EXPECT_TRUE(GetInfoString(*info, 1, nullptr, 0));

  ClearInfoStrings(info.get());
  EXPECT_EQ("<none>", Get(*info, 1));
  EXPECT_EQ("<none>", Get(*info, 29));
  EXPECT_EQ("", Get(*info, 0));
}

TEST(InfoStringsTest, TextsAreBounded) {
  auto info = std::make_unique<InfoStrings>();
  std::string long_text(200, 'L');
  ASSERT_EQ(3, SetInfoString(info.get(), 3, long_text.c_str()));
  EXPECT_EQ(std::string(127, 'L'), Get(*info, 3));

  // A shorter text replaces a longer one whole.
  ASSERT_EQ(3, SetInfoString(info.get(), 3, "95"));
  EXPECT_EQ("95", Get(*info, 3));

  // The copy fits the caller's buffer.
  ASSERT_EQ(11, SetInfoString(info.get(), 11, "25.5"));
  char small[3];
  ASSERT_TRUE(GetInfoString(*info, 11, small, sizeof small));
  EXPECT_STREQ("25", small);
}

TEST(InfoStringsTest, ReaderRacingAWriterSeesOnlyOldAndNewCharacters) {
  auto info = std::make_unique<InfoStrings>();
  const std::string a(120, 'A');
  const std::string b(60, 'B');
  ASSERT_EQ(7, SetInfoString(info.get(), 7, a.c_str()));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      SetInfoString(info.get(), 7, (i % 2 == 0 ? b : a).c_str());
    }
    done.store(true);
  });
  int bad = 0;
  int reads = 0;
  while (!done.load() || reads < 2000) {
    char out[kInfoTextSize];
    if (!GetInfoString(*info, 7, out, sizeof out)) ++bad;
    size_t length = std::strlen(out);
    if (length > 120) ++bad;
    for (size_t i = 0; i < length; ++i) {
      if (out[i] != 'A' && out[i] != 'B') ++bad;
    }
    ++reads;
  }
  writer.join();
  EXPECT_EQ(0, bad);
  // The last write (i = 1999) put the A text back.
  EXPECT_EQ(a, Get(*info, 7));
}

}  // namespace
}  // namespace zep
