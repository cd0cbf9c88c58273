// testbay.exe: the Windows build, the desktop window or a server for automation clients.
#include <atomic>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include <commctrl.h>
#include <strings.h>

#include "automation/automation_com_server_win.h"
#include "automation/automation_server.h"
#include "app/main_frame_view_win.h"
#include "app/testbay_app.h"
#include "pages/hwt_sheet_view_win.h"
#include "platform/console.h"

namespace {

std::atomic<bool> g_stop{false};

constexpr const char* kUsage =
    "usage: testbay.exe [-JsonRpc | -Automation | -RegServer [-PerUser] | -UnregServer [-PerUser] | --version | "
    "--help]\n"
    "\n"
    "Without a switch testbay.exe shows its desktop window.\n"
    "  -JsonRpc, /JsonRpc   serve one automation client with JSON-RPC 2.0 on standard input and output\n"
    "  -Automation, -Embedding\n"
    "                       serve one \"Testbay.Document\" object to COM (COM starts the program so)\n"
    "  -RegServer           register \"Testbay.Document\" below HKLM\\Software\\Classes (HKCU with -PerUser)\n"
    "  -UnregServer         remove that registration\n"
    "  --version            print the version\n"
    "  --help               print this text\n"
    "\n"
    "Environment:\n"
    "  TESTBAY_CONFIG_DIR   directory of Testbay.ini (default: Altheon\\Corvexan\\Firmware\\ below the\n"
    "                       common application data folder, else below the user's application data folder)\n"
    "  TESTBAY_WINDOWS_DIR  directory of TESTBAY.INI (default: the Windows directory)\n"
    "  TMP, TEMP            where the temporary directory with the trace LOG.TXT is made\n"
    "  TESTBAY_TRACE        a file that also receives the whole trace, appended to, and outlives the\n"
    "                       program (one header line per program start)\n";

constexpr const char* kNoWindow = "testbay.exe: the desktop window could not be made\n";

// A COM server that nobody asks an object of ends after this.
constexpr unsigned kComIdleLimitMs = 60000;

enum class Registration { None, Register, Unregister };

// Takes the registration switches out of `arguments`; the rest are the program's own.
Registration TakeRegistrationSwitches(std::vector<std::string>& arguments, bool& perUser) {
    Registration registration = Registration::None;
    std::vector<std::string> rest;
    for (const std::string& argument : arguments) {
        const char* name =
            argument.size() > 1 && (argument[0] == '-' || argument[0] == '/') ? argument.c_str() + 1 : "";
        if (strcasecmp(name, "RegServer") == 0) {
            registration = Registration::Register;
        } else if (strcasecmp(name, "UnregServer") == 0) {
            registration = Registration::Unregister;
        } else if (strcasecmp(name, "PerUser") == 0) {
            perUser = true;
        } else {
            rest.push_back(argument);
        }
    }
    arguments = std::move(rest);
    return registration;
}

int Register(Registration registration, bool perUser) {
    std::wstring program(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    program.resize(length);
    std::string error;
    const bool done = registration == Registration::Register ? testbay::RegisterComServer(program, perUser, error)
                                                             : testbay::UnregisterComServer(perUser, error);
    if (!done) std::fprintf(stderr, "testbay: %s\n", error.c_str());
    return done ? 0 : 1;
}

// The desktop window until the user closes it or a stop signal arrives.
int RunDesktop(const testbay::CTestbayApp& app) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC =
        ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    testbay::CMainFrame frame(app.MainWindowTitle(), g_stop);
    if (!frame.Window()) {
        std::fputs(kNoWindow, stderr);
        return 1;
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (testbay::HandleSheetMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    bool perUser = false;
    const Registration registration = TakeRegistrationSwitches(arguments, perUser);
    const testbay::CommandLine commandLine = testbay::ParseCommandLine(arguments);
    // A server that COM started borrows no console, not even its client's.
    if (!commandLine.automation || commandLine.jsonRpc) testbay::UseParentConsoleForMissingStreams();
    testbay::UseBinaryStandardStreams();
    if (const std::optional<int> status = testbay::AnswerWithoutStarting(commandLine, kUsage)) return *status;
    if (registration != Registration::None) return Register(registration, perUser);

    testbay::CatchStopRequests(g_stop);
    const int status = testbay::RunInstance(arguments, [&](testbay::CTestbayApp& app) {
        if (!commandLine.automation) return RunDesktop(app);
        if (!commandLine.jsonRpc) return testbay::RunComServer(kComIdleLimitMs);
        testbay::RunAutomationServer(testbay::ReadStandardInput, std::cout, std::cerr);
        return 0;
    });
    testbay::StopRequestsHandled();
    return status;
}
