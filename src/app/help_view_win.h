#pragma once

#include <windows.h>

#include <string>

namespace testbay {

// A Help button's outcome: nothing when the viewer started, else a box over
// `owner` that says why the help cannot be shown.
void TellHelpFailure(HWND owner, const std::string& failure);

}  // namespace testbay
