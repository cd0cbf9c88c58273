// process_windows.exe NAME: what the running processes of the program NAME
// show of themselves, one line each: "window PID TITLE" for every visible
// top-level window, "console PID" for a console they are attached to (with
// " window" when that console has a visible window). Exits 1 when no such
// process runs.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<DWORD> ProcessesOf(const std::wstring& program) {
    std::vector<DWORD> found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, program.c_str(), -1, TRUE) == CSTR_EQUAL) {
            found.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return found;
}

struct WindowSearch {
    const std::vector<DWORD>& processes;
    std::vector<std::string> lines;
};

BOOL CALLBACK NoteWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    for (const DWORD wanted : search.processes) {
        if (process != wanted || !IsWindowVisible(window)) continue;
        char title[256] = {};
        GetWindowTextA(window, title, sizeof(title));
        search.lines.push_back("window " + std::to_string(process) + " " + title);
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: process_windows.exe NAME\n", stderr);
        return 2;
    }
    std::wstring program(MAX_PATH, L'\0');
    program.resize(MultiByteToWideChar(CP_ACP, 0, argv[1], -1, program.data(), MAX_PATH));
    const std::vector<DWORD> processes = ProcessesOf(program.c_str());
    if (processes.empty()) {
        std::fputs("no such process\n", stderr);
        return 1;
    }
    WindowSearch search{processes, {}};
    EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&search));
    // Attaching to a process's console succeeds only when it has one.
    FreeConsole();
    for (const DWORD process : processes) {
        if (!AttachConsole(process)) continue;
        const HWND window = GetConsoleWindow();
        search.lines.push_back("console " + std::to_string(process) +
                               (window && IsWindowVisible(window) ? " window" : ""));
        FreeConsole();
    }
    for (const std::string& line : search.lines) std::printf("%s\n", line.c_str());
    return 0;
}
