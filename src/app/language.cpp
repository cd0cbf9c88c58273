#include "app/language.h"

#include <atomic>
#include <string>

#include "platform/folders.h"

namespace testbay {
namespace {

std::atomic<int> g_language{kEnglish};
constexpr const char* kGermanLocales[] = {"de_DE", "de_CH", "de_AT", "de_LU", "de_LI"};

}  // namespace

int GetLanguage() { return g_language.load(); }

void SetLanguage(int language) { g_language.store(language); }

const char* GetLanguageText(const LanguageText* table, int32_t id) {
    for (const LanguageText* row = table; row && row->id != kEndOfTexts; ++row) {
        if (row->id == id) return GetLanguage() == kEnglish ? row->english : row->german;
    }
    return "NoText";
}

int DefaultLanguageFromLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string locale = EnvironmentValue(variable);
        if (locale.empty()) continue;
        for (const char* german : kGermanLocales) {
            if (locale.compare(0, 5, german) == 0) return kGerman;
        }
        return kEnglish;
    }
    return kEnglish;
}

}  // namespace testbay
