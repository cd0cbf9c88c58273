#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/stop_request.h"

namespace testbay {
namespace {

// The system ends the process after a close, log-off or shut-down event
// within a few seconds in any case.
constexpr DWORD kCleanUpWaitMs = 4000;

std::atomic<bool>* g_stop = nullptr;
HANDLE g_cleanedUp = nullptr;

BOOL WINAPI OnControlEvent(DWORD event) {
    if (g_stop) g_stop->store(true);
    RequestStop();
    // The process ends as soon as this returns: wait for the clean-up.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(g_cleanedUp, kCleanUpWaitMs);
    }
    return TRUE;
}

}  // namespace

void CatchStopRequests(std::atomic<bool>& stop) {
    g_stop = &stop;
    g_cleanedUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

void StopRequestsHandled() {
    if (g_cleanedUp) SetEvent(g_cleanedUp);
}

void UseBinaryStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

// A pipe whose writer has gone ends with ERROR_BROKEN_PIPE: the end as well.
size_t ReadStandardInput(char* buffer, size_t size) {
    DWORD count = 0;
    const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, wanted, &count, nullptr)) return 0;
    return count;
}

}  // namespace testbay
