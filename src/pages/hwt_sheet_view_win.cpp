#include "pages/hwt_sheet_view_win.h"

namespace testbay {

HWND OpenHardwareTestSheet(HWND, std::function<void(HWND)>) { return nullptr; }

bool HandleSheetMessage(MSG&) { return false; }

}  // namespace testbay
