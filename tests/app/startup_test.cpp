#include <gtest/gtest.h>

#include <filesystem>

#include "app/directories.h"
#include "app/language.h"
#include "app/settings.h"
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

TEST(TemporaryDirectory, TakesTheFirstFreeSlotThenTheSharedName) {
    TempDir tmp;
    EXPECT_EQ(CTestbayApp::CreateTemporaryDirectory(tmp.Path()), tmp.File("TESTBAY0/"));
    fs::create_directory(tmp.File("TESTBAY1"));
    EXPECT_EQ(CTestbayApp::CreateTemporaryDirectory(tmp.Path()), tmp.File("TESTBAY2/"));
    fs::create_directory(tmp.File("TESTBAY3"));
    EXPECT_EQ(CTestbayApp::CreateTemporaryDirectory(tmp.Path()), tmp.File("TESTBAY/"));
    EXPECT_TRUE(fs::is_directory(tmp.File("TESTBAY")));
    EXPECT_EQ(CTestbayApp::CreateTemporaryDirectory(tmp.Path()), tmp.File("TESTBAY/"));
}

TEST(TemporaryDirectory, DeletionSkipsHiddenDirectoriesAndKeepsWhatHoldsThem) {
    TempDir tmp;
    fs::create_directories(tmp.File("gone/sub"));
    WriteWholeFile(tmp.File("gone/sub/file"), "x");
    WriteWholeFile(tmp.File("gone/.hidden-file"), "x");
    DeleteDirectoryTree(tmp.File("gone"));
    EXPECT_FALSE(fs::exists(tmp.File("gone")));

    fs::create_directories(tmp.File("kept/.cache"));
    WriteWholeFile(tmp.File("kept/LOG.TXT"), "x");
    DeleteDirectoryTree(tmp.File("kept"));
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
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}

TEST(LanguageTexts, CurrentColumnTerminatorAndNoText) {
    const LanguageText table[] = {{7, "Sieben", "Seven"}, {kEndOfTexts, "", ""}, {8, "Acht", "Eight"}};
    SetLanguage(kEnglish);
    EXPECT_STREQ(GetLanguageText(table, 7), "Seven");
    EXPECT_STREQ(GetLanguageText(table, 8), "NoText");
    SetLanguage(kGerman);
    EXPECT_STREQ(GetLanguageText(table, 7), "Sieben");
    SetLanguage(2);
    EXPECT_STREQ(GetLanguageText(table, 7), "Sieben");
    SetLanguage(kEnglish);
}

TEST(LanguageTexts, LocaleGivesTheDefault) {
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", std::nullopt);
    {
        ScopedEnv lang("LANG", "de_AT.UTF-8");
        EXPECT_EQ(DefaultLanguageFromLocale(), kGerman);
    }
    {
        ScopedEnv lang("LANG", "de_BE.UTF-8");
        EXPECT_EQ(DefaultLanguageFromLocale(), kEnglish);
    }
    {
        ScopedEnv lang("LANG", "de_DE.UTF-8");
        ScopedEnv first("LC_MESSAGES", "en_GB.UTF-8");
        EXPECT_EQ(DefaultLanguageFromLocale(), kEnglish);
    }
}

class Startup : public ::testing::Test {
protected:
    TempDir config_;
    TempDir tmp_;
    ScopedEnv configEnv_{"TESTBAY_CONFIG_DIR", config_.Path()};
    ScopedEnv tmpEnv_{"TMPDIR", tmp_.Path()};
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
    EXPECT_EQ(TempDirectory(), tmp_.File("TESTBAY0/"));
    EXPECT_EQ(LogPath(), tmp_.File("TESTBAY0/LOG.TXT"));
    EXPECT_EQ(GetLanguage(), kGerman);
    TraceLine("running");
    EXPECT_NE(ReadWholeFile(tmp_.File("TESTBAY0/LOG.TXT")).find("running"), std::string::npos);
    const std::string ini = ReadWholeFile(config_.File("Testbay.ini"));
    EXPECT_NE(ini.find("[APP]\r\nINIPATH=" + config_.Path() + "\r\n"), std::string::npos);
    app.ExitInstance();
    EXPECT_FALSE(fs::exists(tmp_.File("TESTBAY0")));
    SetLanguage(kEnglish);
}

TEST_F(Startup, StoredLanguageOverridesTheLocale) {
    WriteWholeFile(config_.File("Testbay.ini"), "[FirmwareUpdate]\r\nLanguage=1\r\n");
    CTestbayApp app;
    ASSERT_TRUE(app.InitInstance({}));
    EXPECT_FALSE(app.Automation());
    EXPECT_EQ(GetLanguage(), kEnglish);
    EXPECT_EQ(app.MainWindowTitle(), "TESTBAY 04.02.08 based Application ");
    app.ExitInstance();
}

TEST_F(Startup, UnknownArgumentFailsWithOneLineAndStillCleansUp) {
    CTestbayApp app;
    EXPECT_FALSE(app.InitInstance({"--frobnicate"}));
    EXPECT_EQ(app.Error().find('\n'), std::string::npos);
    EXPECT_NE(app.Error().find("--frobnicate"), std::string::npos);
    app.ExitInstance();
    EXPECT_TRUE(fs::is_empty(tmp_.Path()));
}

TEST_F(Startup, ConfigurationPathIsCreatedAlongTheWay) {
    ScopedEnv deeper("TESTBAY_CONFIG_DIR", config_.File("a/b/c"));
    EXPECT_EQ(ChooseConfigDirectory(), config_.File("a/b/c/"));
    EXPECT_TRUE(fs::is_directory(config_.File("a/b/c")));
}

}  // namespace
}  // namespace testbay
