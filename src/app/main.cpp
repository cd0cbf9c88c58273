// testbay: the service and hardware-test program.
#include <QApplication>
#include <atomic>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation_server.h"
#include "app/main_frame_view.h"
#include "app/testbay_app.h"
#include "platform/console.h"

namespace {

std::atomic<bool> g_stop{false};

constexpr const char* kUsage =
    "usage: testbay [-Automation | -Embedding | -JsonRpc] [--version] [--help]\n"
    "\n"
    "Without a switch testbay shows its desktop window.\n"
    "  -Automation, /Automation   serve one automation client on standard input and output\n"
    "  -Embedding, /Embedding     the same\n"
    "  -JsonRpc, /JsonRpc         the same (the switch of the Windows build)\n"
    "  --version                  print the version\n"
    "  --help                     print this text\n"
    "\n"
    "Environment:\n"
    "  TESTBAY_CONFIG_DIR   directory of Testbay.ini (default: /var/lib/Altheon/Corvexan/Firmware/\n"
    "                       when it can be created, else $XDG_CONFIG_HOME or ~/.config below that path)\n"
    "  TESTBAY_WINDOWS_DIR  directory of TESTBAY.INI (default: $XDG_CONFIG_HOME or ~/.config)\n"
    "  TMPDIR               where the temporary directory with the trace LOG.TXT is made\n"
    "  TESTBAY_TRACE        a file that also receives the whole trace, appended to, and outlives the\n"
    "                       program (one header line per program start)\n"
    "  LC_ALL, LC_MESSAGES, LANG   German texts for a German locale unless Testbay.ini says otherwise\n";

// The desktop window until the user closes it or a stop signal arrives.
int RunDesktop(int& argc, char** argv, const testbay::CTestbayApp& app) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(testbay::kProgramName));
    testbay::CMainFrame frame(QString::fromStdString(app.MainWindowTitle()));
    frame.show();
    // Also ends a modal dialog's loop.
    QObject::connect(&frame, &testbay::CMainFrame::closedOnStopRequest, &application, [] { QApplication::exit(0); });
    frame.CloseOnStopRequest(g_stop);
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const testbay::CommandLine commandLine = testbay::ParseCommandLine(arguments);
    if (const std::optional<int> status = testbay::AnswerWithoutStarting(commandLine, kUsage)) return *status;

    testbay::CatchStopRequests(g_stop);
    return testbay::RunInstance(arguments, [&](testbay::CTestbayApp& app) {
        if (!app.Automation()) return RunDesktop(argc, argv, app);
        testbay::RunAutomationServer(testbay::ReadStandardInput, std::cout, std::cerr);
        return 0;
    });
}
