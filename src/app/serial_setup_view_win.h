#pragma once

#include <windows.h>

namespace testbay {

// "Setup Serial Connection", modal over `owner`: a thin view over SerialSetup.
void OpenSerialSetupDialog(HWND owner);

}  // namespace testbay
