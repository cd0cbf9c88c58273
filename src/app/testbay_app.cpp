#include "app/testbay_app.h"

#include <strings.h>

#include <cstdio>

#include "settings/directories.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "settings/settings_index.h"
#include "settings/version.h"
#include "comm/trace.h"
#include "platform/folders.h"
#include "platform/machine_registry.h"

namespace testbay {
namespace {

constexpr int kTemporaryDirectorySlots = 4;

bool IsSwitch(const std::string& argument, const char* name) {
    return argument.size() > 1 && (argument[0] == '/' || argument[0] == '-') &&
           strcasecmp(argument.c_str() + 1, name) == 0;
}

// A trace that was asked for and cannot be kept is told, not silently lost;
// the program still starts.
void KeepTraceIn(const std::string& path) {
    if (path.empty()) return;
    std::string error;
    if (!LogAlsoTo(path, error))
        std::fprintf(stderr, "testbay: the trace cannot be kept in %s: %s\n", path.c_str(), error.c_str());
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    for (const std::string& argument : arguments) {
        if (IsSwitch(argument, "Automation") || IsSwitch(argument, "Embedding")) {
            commandLine.automation = true;
        } else if (IsSwitch(argument, "JsonRpc")) {
            commandLine.automation = true;
            commandLine.jsonRpc = true;
        } else if (argument == "--version") {
            commandLine.version = true;
        } else if (argument == "--help" || argument == "-h") {
            commandLine.help = true;
        } else if (commandLine.error.empty()) {
            commandLine.error = "unknown argument '" + argument + "' (see testbay --help)";
        }
    }
    return commandLine;
}

std::optional<int> AnswerWithoutStarting(const CommandLine& commandLine, const char* usage) {
    if (!commandLine.error.empty()) {
        std::fprintf(stderr, "testbay: %s\n", commandLine.error.c_str());
        return 2;
    }
    if (commandLine.help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (commandLine.version) {
        std::printf("testbay %s\n", kTestbayVersion);
        return 0;
    }
    return std::nullopt;
}

int TestRegistryWriteAccess(const char* name, const char* subkeyName, const char* valueText) {
    // No separator before the name: the key ends in "CorvexanTestbay".
    return WriteMachineRegistryString(std::string("Software\\Altheon\\Corvexan") + name, subkeyName, valueText) ? 1 : 0;
}

OwnedFolder CTestbayApp::CreateTemporaryDirectory(const std::string& temporaryFolder) {
    for (int slot = 0; slot < kTemporaryDirectorySlots; ++slot) {
        OwnedFolder folder = OwnedFolder::Claim(temporaryFolder + "TESTBAY" + std::to_string(slot));
        if (folder.Held()) return folder;
    }
    OwnedFolder shared = OwnedFolder::Claim(temporaryFolder + "TESTBAY");
    if (shared.Held()) return shared;
    // TESTBAY is another user's, a link or in use: a name nobody can foresee.
    return OwnedFolder::ClaimUnique(temporaryFolder + "TESTBAY.");
}

bool CTestbayApp::InitInstance(const std::vector<std::string>& arguments) {
    const std::string configDirectory = ChooseConfigDirectory();
    SetConfigDirectory(configDirectory);
    WriteIniString(settings::kAppSection, settings::kIniPathKey, configDirectory.c_str(), settings::kProgramFile);

    SetLanguage(ReadIniInt(settings::kLanguageSection, settings::kLanguageKey, DefaultLanguageFromLocale(),
                           settings::kProgramFile));

    tempDirectory_ = CreateTemporaryDirectory(TemporaryFolder());
    SetTempDirectory(tempDirectory_.Path());
    // Without a folder of its own the program keeps no log rather than write elsewhere.
    LogOpen(tempDirectory_.Held() ? (tempDirectory_.Path() + "LOG.TXT").c_str() : nullptr);
    KeepTraceIn(EnvironmentValue(kLastingTraceVariable));

    commandLine_ = ParseCommandLine(arguments);
    if (!commandLine_.error.empty()) return false;
    if (commandLine_.automation) return true;
    // Without write access the class registration is left alone.
    TestRegistryWriteAccess("Testbay", "TestWriteAccess", "TestToken");
    return true;
}

int CTestbayApp::ExitInstance() {
    LogClose();
    tempDirectory_.Delete();
    return 0;
}

std::string CTestbayApp::MainWindowTitle() const {
    char title[64];
    std::snprintf(title, sizeof(title), kMainWindowTitleFormat, kTestbayVersion);
    return title;
}

int RunInstance(const std::vector<std::string>& arguments, const std::function<int(CTestbayApp&)>& serve) {
    CTestbayApp app;
    if (!app.InitInstance(arguments)) {
        std::fprintf(stderr, "testbay: %s\n", app.Error().c_str());
        app.ExitInstance();
        return 1;
    }
    const int status = serve(app);
    app.ExitInstance();
    return status;
}

}  // namespace testbay
