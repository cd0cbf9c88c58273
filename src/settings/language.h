#pragma once

#include <cstdint>

namespace testbay {

// 0 selects German texts, 1 English.
enum LanguageIndex : int { kGerman = 0, kEnglish = 1 };

// One row of a text table; a row with id -1 ends the table.
struct LanguageText {
    int32_t id;
    const char* german;
    const char* english;
};
constexpr int32_t kEndOfTexts = -1;

int GetLanguage();
void SetLanguage(int language);
// The text of `id` in the current language; "NoText" when the table has no
// such row. Any language index but 1 reads the German column.
const char* GetLanguageText(const LanguageText* table, int32_t id);
// German when the first set of LC_ALL, LC_MESSAGES and LANG names a German
// locale of Germany, Switzerland, Austria, Luxembourg or Liechtenstein.
int DefaultLanguageFromLocale();

}  // namespace testbay
