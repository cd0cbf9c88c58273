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

bool Missing(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

// The system's standard handle and the C library's stream both reach `device`.
void Reopen(DWORD standardHandle, const wchar_t* device, FILE* stream, const char* name, const char* mode) {
    const HANDLE handle = CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    SetStdHandle(standardHandle, handle);
    // Wine's C library refuses to reopen a stream that never was open; the system's takes it.
    std::freopen(name, mode, stream);
}

}  // namespace

void UseParentConsoleForMissingStreams() {
    const bool input = Missing(STD_INPUT_HANDLE);
    const bool output = Missing(STD_OUTPUT_HANDLE);
    const bool errors = Missing(STD_ERROR_HANDLE);
    if (!input && !output && !errors) return;
    // Started by COM or from the desktop there is no console to attach to, and
    // the program makes none of its own: no window.
    // ERROR_ACCESS_DENIED: already attached to one, which serves as well.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return;
    if (input) Reopen(STD_INPUT_HANDLE, L"CONIN$", stdin, "CONIN$", "r");
    if (output) Reopen(STD_OUTPUT_HANDLE, L"CONOUT$", stdout, "CONOUT$", "w");
    if (errors) Reopen(STD_ERROR_HANDLE, L"CONOUT$", stderr, "CONOUT$", "w");
}

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
