#include "language_choice.h"

#include "message_files.h"

namespace zep {

TrayLanguage ChooseTrayLanguage(const char* zep_lang) {
  if (zep_lang == nullptr || zep_lang[0] == '\0') {
    return {kLanguageJapanese, ""};
  }
  return {kLanguageEnglish, LanguageSuffix(zep_lang)};
}

}  // namespace zep
