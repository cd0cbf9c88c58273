#include "app/help_view_win.h"

#include "app/frame_connection.h"
#include "platform/text_win.h"

namespace testbay {

void TellHelpFailure(HWND owner, const std::string& failure) {
    if (failure.empty()) return;
    MessageBoxW(owner, WideText(failure).c_str(), WideText(kProgramName).c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace testbay
