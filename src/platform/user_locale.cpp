#include "platform/user_locale.h"

#include <string>

#include "platform/folders.h"

namespace testbay {
namespace {

constexpr const char* kGermanLocales[] = {"de_DE", "de_CH", "de_AT", "de_LU", "de_LI"};

}  // namespace

bool UserLanguageIsGerman() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string locale = EnvironmentValue(variable);
        if (locale.empty()) continue;
        for (const char* german : kGermanLocales) {
            if (locale.compare(0, 5, german) == 0) return true;
        }
        return false;
    }
    return false;
}

}  // namespace testbay
