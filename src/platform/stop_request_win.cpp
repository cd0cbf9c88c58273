#include <windows.h>

#include "platform/stop_request.h"

namespace testbay {
namespace {

// A manual-reset event is the request itself: set once, it stays set.
HANDLE MakeEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }
const HANDLE g_requested = MakeEvent();

}  // namespace

void RequestStop() { SetEvent(g_requested); }

bool StopRequested() { return WaitForSingleObject(g_requested, 0) == WAIT_OBJECT_0; }

void WithdrawStopRequest() { ResetEvent(g_requested); }

bool WaitForStopRequestUs(int64_t microseconds) {
    if (microseconds <= 0) return StopRequested();
    const int64_t milliseconds = (microseconds + 999) / 1000;
    const DWORD wait = milliseconds >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(milliseconds);
    return WaitForSingleObject(g_requested, wait) == WAIT_OBJECT_0;
}

void* StopRequestEvent() { return g_requested; }

bool WaitForEventOrStopRequest(void* event, unsigned long milliseconds) {
    if (!StopEndsCallsHere()) return WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0;
    const HANDLE events[2] = {event, g_requested};
    return WaitForMultipleObjects(2, events, FALSE, milliseconds) == WAIT_OBJECT_0;
}

}  // namespace testbay
