#pragma once

#include <string>

namespace testbay {

// Windows hand their help topic ("settings.html", …) to this one display
// operation. The program has no help pages, so it shows nothing.
void ShowHelp(const std::string& topic);

}  // namespace testbay
