#pragma once

namespace testbay {

// True when the user's default language is German of Germany, Switzerland,
// Austria, Luxembourg or Liechtenstein: on Linux the first set of LC_ALL,
// LC_MESSAGES and LANG, on Windows the user's default language identifier.
bool UserLanguageIsGerman();

}  // namespace testbay
