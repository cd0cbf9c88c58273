// start_without_streams.exe PROGRAM [ARGUMENTS...]: starts PROGRAM with no
// standard handles, as a console starts a program of the Windows subsystem,
// waits for it and ends with its exit code.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    // The rest of this program's own command line, as the system has it.
    std::wstring line = GetCommandLineW();
    const bool quoted = !line.empty() && line[0] == L'"';
    const size_t nameEnd = quoted ? line.find(L'"', 1) : line.find(L' ');
    const size_t rest = nameEnd == std::wstring::npos ? std::wstring::npos : line.find_first_not_of(L' ', nameEnd + 1);
    if (rest == std::wstring::npos) {
        std::fputs("usage: start_without_streams.exe PROGRAM [ARGUMENTS...]\n", stderr);
        return 2;
    }
    std::wstring command = line.substr(rest);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        std::fprintf(stderr, "cannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(started.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(started.hProcess, &status);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return static_cast<int>(status);
}
