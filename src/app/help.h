#pragma once

#include <functional>
#include <string>

namespace testbay {

// Windows hand their help topic ("settings.html", …) to one display
// operation; the desktop window installs what shows it.
using HelpDisplay = std::function<void(const std::string& topic)>;
void SetHelpDisplay(HelpDisplay display);
void ShowHelp(const std::string& topic);

}  // namespace testbay
