#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "settings/directories.h"
#include "settings/language.h"
#include "settings/settings.h"
#include "app/testbay_app.h"
#include "comm/trace.h"
#include "platform/folders.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::ScopedEnv;
using test::TempDir;
using test::WriteWholeFile;

TEST(TemporaryDirectory, FreeSlotsFirstThenTheSharedNameThenAUniqueOneAndAReleasedSlotIsTakenAgain) {
    TempDir tmp;
    std::vector<OwnedFolder> held;
    held.push_back(CTestbayApp::CreateTemporaryDirectory(tmp.Path()));
    EXPECT_EQ(held.back().Path(), WithTrailingSlash(tmp.File("TESTBAY0")));
    // Left by an instance that ended without cleaning up.
    fs::create_directories(tmp.File("TESTBAY1/old"));
    WriteWholeFile(tmp.File("TESTBAY1/old/LOG.TXT"), "x");
    held.push_back(CTestbayApp::CreateTemporaryDirectory(tmp.Path()));
    EXPECT_EQ(held.back().Path(), WithTrailingSlash(tmp.File("TESTBAY1")));
    EXPECT_FALSE(fs::exists(tmp.File("TESTBAY1/old")));
    for (const char* name : {"TESTBAY2", "TESTBAY3", "TESTBAY"}) {
        held.push_back(CTestbayApp::CreateTemporaryDirectory(tmp.Path()));
        EXPECT_EQ(held.back().Path(), WithTrailingSlash(tmp.File(name)));
    }
    held.push_back(CTestbayApp::CreateTemporaryDirectory(tmp.Path()));
    const std::string unique = held.back().Path();
    EXPECT_EQ(unique.rfind(tmp.File("TESTBAY."), 0), 0u) << unique;
    EXPECT_TRUE(fs::is_directory(unique));
    EXPECT_NE(CTestbayApp::CreateTemporaryDirectory(tmp.Path()).Path(), unique);

    held[0] = OwnedFolder();
    EXPECT_EQ(CTestbayApp::CreateTemporaryDirectory(tmp.Path()).Path(), WithTrailingSlash(tmp.File("TESTBAY0")));
    held[2].Delete();
    EXPECT_FALSE(fs::exists(tmp.File("TESTBAY2")));
    EXPECT_FALSE(held[2].Held());
}

TEST(TemporaryDirectory, DeletionSparesHiddenDirectoriesAndWhatIsBelowThem) {
    TempDir tmp;
    OwnedFolder gone = OwnedFolder::Claim(tmp.File("gone"));
    ASSERT_TRUE(gone.Held());
    fs::create_directories(tmp.File("gone/sub"));
    WriteWholeFile(tmp.File("gone/sub/file"), "x");
    WriteWholeFile(tmp.File("gone/.hidden-file"), "x");
    gone.Delete();
    EXPECT_FALSE(fs::exists(tmp.File("gone")));
    OwnedFolder kept = OwnedFolder::Claim(tmp.File("kept"));
    fs::create_directories(tmp.File("kept/.cache"));
    WriteWholeFile(tmp.File("kept/LOG.TXT"), "x");
    kept.Delete();
    EXPECT_FALSE(fs::exists(tmp.File("kept/LOG.TXT")));
    EXPECT_TRUE(fs::exists(tmp.File("kept/.cache")));
}

TEST(CommandLineSwitches, AutomationAndEmbeddingInAnyCaseAfterSlashOrDash) {
    for (const char* argument : {"-Automation", "/automation", "-EMBEDDING", "/Embedding"}) {
        EXPECT_TRUE(ParseCommandLine({argument}).automation) << argument;
    }
    EXPECT_FALSE(ParseCommandLine({}).automation);
    EXPECT_FALSE(ParseCommandLine({"Automation"}).error.empty());
    EXPECT_FALSE(ParseCommandLine({"-Automate"}).error.empty());
}

TEST(LanguageTexts, CurrentColumnTerminatorNoTextAndTheLocaleDefault) {
    const LanguageText table[] = {{7, "Sieben", "Seven"}, {kEndOfTexts, "", ""}, {8, "Acht", "Eight"}};
    SetLanguage(kEnglish);
    EXPECT_STREQ(GetLanguageText(table, 7), "Seven");
    EXPECT_STREQ(GetLanguageText(table, 8), "NoText");
    SetLanguage(kGerman);
    EXPECT_STREQ(GetLanguageText(table, 7), "Sieben");
    SetLanguage(2);
    EXPECT_STREQ(GetLanguageText(table, 7), "Sieben");
    SetLanguage(kEnglish);

    // Windows takes the user's language from the system, not from these variables.
#ifndef _WIN32
    ScopedEnv all("LC_ALL", std::nullopt);
    const std::tuple<const char*, std::optional<std::string>, int> cases[] = {{"de_AT.UTF-8", std::nullopt, kGerman},
                                                                              {"de_BE.UTF-8", std::nullopt, kEnglish},
                                                                              {"de_DE.UTF-8", "en_GB.UTF-8", kEnglish}};
    for (const auto& [lang, messages, language] : cases) {
        ScopedEnv langEnv("LANG", lang);
        ScopedEnv messagesEnv("LC_MESSAGES", messages);
        EXPECT_EQ(DefaultLanguageFromLocale(), language) << lang;
    }
#endif
}

class Startup : public ::testing::Test {
protected:
    TempDir config_;
    TempDir tmp_;
    ScopedEnv configEnv_{"TESTBAY_CONFIG_DIR", config_.Path()};
    ScopedEnv tmpEnv_{test::kTemporaryFolderVariable, tmp_.Path()};
    ScopedEnv all_{"LC_ALL", std::nullopt};
    ScopedEnv messages_{"LC_MESSAGES", std::nullopt};
    ScopedEnv lang_{"LANG", "de_DE.UTF-8"};
};

TEST_F(Startup, AutomationStartFixesDirectoriesOpensTheLogAndCleansUp) {
    WriteWholeFile(config_.File("Testbay.ini"), "[FirmwareUpdate]\r\nLogfile=1\r\n");
    CTestbayApp app;
    ASSERT_TRUE(app.InitInstance({"/Automation"}));
    EXPECT_TRUE(app.Automation());
    EXPECT_EQ(ConfigDirectory(), config_.Path());
    EXPECT_EQ(LogPath(), WithTrailingSlash(tmp_.File("TESTBAY0")) + "LOG.TXT");
    EXPECT_EQ(GetLanguage(), kGerman);
    TraceLine("running");
    EXPECT_NE(ReadWholeFile(tmp_.File("TESTBAY0/LOG.TXT")).find("running"), std::string::npos);
    app.ExitInstance();
    EXPECT_FALSE(fs::exists(tmp_.File("TESTBAY0")));
    SetLanguage(kEnglish);
}

TEST_F(Startup, StoredLanguageOverridesTheLocaleAndTheConfigurationPathIsCreated) {
    WriteWholeFile(config_.File("Testbay.ini"), "[FirmwareUpdate]\r\nLanguage=1\r\n");
    CTestbayApp app;
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_FALSE(app.Automation());
    EXPECT_EQ(GetLanguage(), kEnglish);
    EXPECT_EQ(app.MainWindowTitle(), "TESTBAY 04.02.08 based Application ");
    app.ExitInstance();

    EXPECT_TRUE(fs::is_empty(tmp_.Path()));

    // The configuration path is created along the way.
    ScopedEnv deeper("TESTBAY_CONFIG_DIR", config_.File("a/b/c"));
    EXPECT_EQ(ChooseConfigDirectory(), WithTrailingSlash(config_.File("a/b/c")));
    EXPECT_TRUE(fs::is_directory(config_.File("a/b/c")));
}

}  // namespace
}  // namespace testbay
