#pragma once

#include <windows.h>

#include <functional>

namespace testbay {

// Shows the wait cursor for the life of a scope.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

// A further modeless "Hardware Testbaying" sheet with its "Serial Ports" page,
// owned by `frame`. `closing` runs with the sheet's window when the sheet is
// closed, before it goes. Null when the window could not be made.
HWND OpenHardwareTestSheet(HWND frame, std::function<void(HWND sheet)> closing);
// The message loop's share of the open sheets: true when `message` was for one
// of them (their dialog keys) and is handled; destroys the sheets that closed.
bool HandleSheetMessage(MSG& message);

}  // namespace testbay
