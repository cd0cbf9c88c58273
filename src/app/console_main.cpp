// testbay.exe: the Windows build, which serves automation clients only.
#include <atomic>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/automation_server.h"
#include "app/testbay_app.h"
#include "platform/console.h"

namespace {

std::atomic<bool> g_stop{false};

constexpr const char* kUsage =
    "usage: testbay.exe -JsonRpc | --version | --help\n"
    "\n"
    "  -JsonRpc, /JsonRpc   serve one automation client with JSON-RPC 2.0 on standard input and output\n"
    "  --version            print the version\n"
    "  --help               print this text\n"
    "\n"
    "Environment:\n"
    "  TESTBAY_CONFIG_DIR   directory of Testbay.ini (default: Altheon\\Corvexan\\Firmware\\ below the\n"
    "                       common application data folder, else below the user's application data folder)\n"
    "  TESTBAY_WINDOWS_DIR  directory of TESTBAY.INI (default: the Windows directory)\n"
    "  TMP, TEMP            where the temporary directory with the trace LOG.TXT is made\n";

constexpr const char* kNoWindow =
    "testbay.exe: this build serves automation clients (testbay.exe -JsonRpc); the desktop window needs "
    "the Qt build (see testbay.exe --help)\n";

}  // namespace

int main(int argc, char** argv) {
    testbay::UseBinaryStandardStreams();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const testbay::CommandLine commandLine = testbay::ParseCommandLine(arguments);
    if (const std::optional<int> status = testbay::AnswerWithoutStarting(commandLine, kUsage)) return *status;
    if (!commandLine.jsonRpc) {
        std::fputs(kNoWindow, stderr);
        return 1;
    }

    testbay::CatchStopRequests(g_stop);
    testbay::CTestbayApp app;
    if (!app.InitInstance(arguments)) {
        std::fprintf(stderr, "testbay: %s\n", app.Error().c_str());
        app.ExitInstance();
        return 1;
    }
    testbay::RunAutomationServer(std::cin, std::cout, g_stop);
    app.ExitInstance();
    testbay::StopRequestsHandled();
    return 0;
}
