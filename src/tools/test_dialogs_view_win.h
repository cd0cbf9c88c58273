#pragma once

#include <windows.h>

namespace testbay {

// The communication-test dialogs, modal over `owner`.
void OpenEnhancedCommunicationTests(HWND owner, int portIndex);
void OpenWsTest(HWND owner, int channel);
// Ends every open communication-test dialog (once their runs have let the
// client go): the frame closes.
void EndCommunicationTestDialogs();

// Handles the window thread's pending messages except user input, waiting
// briefly for one: what a window does while it waits for a worker.
void HandleWindowEventsWhileWaiting();

}  // namespace testbay
