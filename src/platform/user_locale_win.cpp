#include "platform/user_locale.h"

#include <windows.h>

namespace testbay {
namespace {

constexpr LANGID kGermanLanguages[] = {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407};

}  // namespace

bool UserLanguageIsGerman() {
    const LANGID language = GetUserDefaultLangID();
    for (const LANGID german : kGermanLanguages) {
        if (language == german) return true;
    }
    return false;
}

}  // namespace testbay
