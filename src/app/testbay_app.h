#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/folders.h"

namespace testbay {

// Names a file that also receives the whole trace and outlives the program.
constexpr const char* kLastingTraceVariable = "TESTBAY_TRACE";

// What the command line asks for. Switches start with '/' or '-'; their
// names match without regard to case.
struct CommandLine {
    bool automation = false;  // "Automation", "Embedding" or "JsonRpc": serve a script, no window
    bool jsonRpc = false;     // "JsonRpc" itself: JSON-RPC also where "Automation" means COM
    bool version = false;     // --version
    bool help = false;        // --help
    std::string error;        // an argument the program does not know
};
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Whether the program may write its class registration; there is no
// registry here, so never.
// Answers --help (with `usage`), --version and an unknown argument on the
// console; the exit status then, else nothing (the program goes on).
std::optional<int> AnswerWithoutStarting(const CommandLine& commandLine, const char* usage);
int TestRegistryWriteAccess(const char* name, const char* subkeyName, const char* valueText);

// The application object: fixes the configuration and temporary
// directories, the language and the trace log at start, and cleans up at exit.
class CTestbayApp {
public:
    // Runs the start-up steps in order. False when start-up failed; Error()
    // then says why in one line.
    bool InitInstance(const std::vector<std::string>& arguments);
    // Closes the log and deletes the temporary directory.
    int ExitInstance();

    bool Automation() const { return commandLine_.automation; }
    const std::string& Error() const { return commandLine_.error; }
    // "TESTBAY 04.02.08 based Application " for the desktop window.
    std::string MainWindowTitle() const;

    // The first of TESTBAY0 … TESTBAY3 below `temporaryFolder` that this
    // process could claim (new, or left by an instance that died), else
    // TESTBAY, else a new folder of a unique name beside them. Not held when
    // even that fails.
    static OwnedFolder CreateTemporaryDirectory(const std::string& temporaryFolder);

private:
    CommandLine commandLine_;
    OwnedFolder tempDirectory_;
};

// Starts the application, lets `serve` run it and cleans up: the exit status
// of `serve`, or 1 with the reason on standard error when start-up failed.
int RunInstance(const std::vector<std::string>& arguments, const std::function<int(CTestbayApp&)>& serve);

}  // namespace testbay
