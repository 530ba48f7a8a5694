// The tray's language: English resources and the message files of the
// ZEP_LANG suffix when ZEP_LANG is set, Japanese resources and the files
// without suffix when it is not.
#pragma once

#include <string>

namespace zep {

constexpr int kLanguageEnglish = 0x0409;   // 1033
constexpr int kLanguageJapanese = 0x0411;  // 1041

struct TrayLanguage {
  int language_id;
  /// The message-file suffix: "_" + ZEP_LANG, or ZEP_LANG itself when it
  /// already begins with "_"; empty for Japanese.
  std::string suffix;
};

/// `zep_lang` is the ZEP_LANG setting, null when it is not set.
TrayLanguage ChooseTrayLanguage(const char* zep_lang);

}  // namespace zep
