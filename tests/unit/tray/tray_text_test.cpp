#include <gtest/gtest.h>

#include <string>

#include "language_choice.h"
#include "shell_text.h"
#include "tray_state.h"

namespace zep {
namespace {

TEST(TrayTextTest, LanguageFromZepLang) {
  struct Case {
    const char* zep_lang;
    int id;
    const char* suffix;
  } cases[] = {
      {"en", 0x0409, "_en"},
      {"_de", 0x0409, "_de"},
      {"", 0x0411, ""},
      {nullptr, 0x0411, ""},
  };
  for (const Case& c : cases) {
    TrayLanguage l = ChooseTrayLanguage(c.zep_lang);
    EXPECT_EQ(l.language_id, c.id);
    EXPECT_EQ(l.suffix, c.suffix);
  }
}

TEST(TrayTextTest, CutsKeepDoubleByteCharactersWhole) {
  // "A", then two double-byte characters (0x82 0xA0 and 0x93 0xFA), then a
  // half-width katakana 0xB1, which is one byte.
  const std::string text = "A\x82\xA0\x93\xFA\xB1";
  EXPECT_EQ(CutCp932(text, 2), "A\x82\xA0");
  EXPECT_EQ(CutCp932(text, 4), text);
  EXPECT_EQ(CutCp932Bytes(text, 4), "A\x82\xA0");
  EXPECT_EQ(CutCp932Bytes(text, 5), "A\x82\xA0\x93\xFA");
  // A lead byte left alone at the end is not a character.
  EXPECT_EQ(CutCp932("AB\x82", 10), "AB");
}

TEST(TrayTextTest, LastMessageFitsItsField) {
  TrayState state;
  SetLastMessage(&state, std::string(258, 'a') + "\x82\xA0");
  EXPECT_EQ(state.last_message, std::string(258, 'a'));
}

}  // namespace
}  // namespace zep
