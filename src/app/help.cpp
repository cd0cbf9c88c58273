#include "app/help.h"

namespace testbay {

void ShowHelp(const std::string& /*topic*/) {}

}  // namespace testbay
