#include "settings/language.h"

#include <atomic>
#include <string>

#include "platform/user_locale.h"

namespace testbay {
namespace {

std::atomic<int> g_language{kEnglish};

}  // namespace

int GetLanguage() { return g_language.load(); }

void SetLanguage(int language) { g_language.store(language); }

const char* GetLanguageText(const LanguageText* table, int32_t id) {
    for (const LanguageText* row = table; row && row->id != kEndOfTexts; ++row) {
        if (row->id == id) return GetLanguage() == kEnglish ? row->english : row->german;
    }
    return "NoText";
}

int DefaultLanguageFromLocale() { return UserLanguageIsGerman() ? kGerman : kEnglish; }

}  // namespace testbay
