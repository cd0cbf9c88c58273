#include "tools/test_dialogs_view_win.h"

namespace testbay {

void OpenEnhancedCommunicationTests(HWND, int) {}

void OpenWsTest(HWND, int) {}

void EndCommunicationTestDialogs() {}

void HandleWindowEventsWhileWaiting() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
}

}  // namespace testbay
