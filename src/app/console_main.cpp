// testbay.exe: the Windows build, which serves automation clients only.
#include <atomic>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include <strings.h>

#include "automation/automation_com_server_win.h"
#include "automation/automation_server.h"
#include "app/testbay_app.h"
#include "platform/console.h"

namespace {

std::atomic<bool> g_stop{false};

constexpr const char* kUsage =
    "usage: testbay.exe -JsonRpc | -Automation | -RegServer [-PerUser] | -UnregServer [-PerUser] | --version | --help\n"
    "\n"
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
    "  TMP, TEMP            where the temporary directory with the trace LOG.TXT is made\n";

constexpr const char* kNoWindow =
    "testbay.exe: this build serves automation clients (testbay.exe -JsonRpc or -Automation); the desktop "
    "window needs the Qt build (see testbay.exe --help)\n";

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
    if (!commandLine.automation) {
        std::fputs(kNoWindow, stderr);
        return 1;
    }

    testbay::CatchStopRequests(g_stop);
    const int status = testbay::RunInstance(arguments, [&](testbay::CTestbayApp&) {
        if (!commandLine.jsonRpc) return testbay::RunComServer(kComIdleLimitMs);
        testbay::RunAutomationServer(testbay::ReadStandardInput, std::cout);
        return 0;
    });
    testbay::StopRequestsHandled();
    return status;
}
