#include "app/help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/serial_setup.h"
#include "support/recorded_help.h"
#include "support/temp_dir.h"
#include "tools/enhanced_comm_test.h"

namespace testbay {
namespace {

using test::TempDir;
using test::WriteWholeFile;

constexpr char kPortSection[] = "pointing-it-at-a-real-relay";

// A program folder `bin/` below a fresh root, with files placed relative to it.
class HelpPageTest : public ::testing::Test {
protected:
    std::string BinFolder() const { return root_.File("bin") + "/"; }
    std::string Place(const std::string& relative) {
        const std::filesystem::path path = std::filesystem::path(BinFolder() + relative).lexically_normal();
        std::filesystem::create_directories(path.parent_path());
        WriteWholeFile(path.string(), "# Testbay\n");
        return path.string();
    }

    void SetUp() override { std::filesystem::create_directories(BinFolder()); }

    TempDir root_;
};

TEST(HelpAnchor, HeadingsBecomeTheAnchorsMarkdownViewersGiveThem) {
    EXPECT_EQ(HeadingAnchor("Pointing it at a real relay"), kPortSection);
    EXPECT_EQ(HeadingAnchor("Single calls and pytest"), "single-calls-and-pytest");
    EXPECT_EQ(HeadingAnchor("Testbay.Document through COM"), "testbaydocument-through-com");
    EXPECT_EQ(HeadingAnchor("Installing on Windows"), "installing-on-windows");
    EXPECT_EQ(HeadingAnchor(""), "");
}

#ifndef _WIN32
// A renamed heading would leave its Help button opening the README's start.
TEST(HelpAnchor, EveryTopicsHeadingIsAHeadingOfTheReadme) {
    std::ifstream readme(TESTBAY_SOURCE_README);
    ASSERT_TRUE(readme.is_open());
    std::stringstream text;
    text << readme.rdbuf();
    for (const char* topic : {SerialSetup::kHelpTopic, EnhancedCommTest::kHelpTopic}) {
        EXPECT_NE(text.str().find("\n## " + HelpHeading(topic) + "\n"), std::string::npos) << topic;
    }
}
#endif

TEST_F(HelpPageTest, BuildTreeOpensTheMarkdownReadmeAtTheTopicsSection) {
    const std::string readme = Place("README.md");
    EXPECT_EQ(FindHelpPage("settings.html", BinFolder()), (HelpPage{readme, kPortSection}));
    EXPECT_EQ(FindHelpPage("index.html", BinFolder()), (HelpPage{readme, ""}));
}

TEST_F(HelpPageTest, LinuxInstallationOpensTheReadmeBelowThePrefix) {
    const std::string readme = Place("../share/doc/testbay/README.md");
    const HelpPage page = FindHelpPage("settings.html", BinFolder());
    EXPECT_EQ(page, (HelpPage{readme, kPortSection}));
    EXPECT_EQ(page.file.find(".."), std::string::npos) << page.file;
}

TEST_F(HelpPageTest, WindowsInstallationOpensThePlainTextReadmeAtItsStart) {
    const std::string text = Place("README.txt");
    Place("../share/doc/testbay/README.md");
    EXPECT_EQ(FindHelpPage("settings.html", BinFolder()), (HelpPage{text, ""}));
}

TEST_F(HelpPageTest, NoReadmeNoFolderOrAFolderNamedLikeTheReadmeGiveNoPage) {
    EXPECT_EQ(FindHelpPage("settings.html", BinFolder()), HelpPage{});
    std::filesystem::create_directories(BinFolder() + "README.md");
    EXPECT_EQ(FindHelpPage("settings.html", BinFolder()), HelpPage{});
    EXPECT_EQ(FindHelpPage("settings.html", ""), HelpPage{});
}

TEST_F(HelpPageTest, TheSerialSetupHelpHandsItsSectionToTheViewer) {
    const std::string readme = Place("README.md");
    test::RecordedHelp help(BinFolder());
    SerialSetup().Help();
    EXPECT_EQ(help.pages, (std::vector<HelpPage>{{readme, kPortSection}}));
}

TEST_F(HelpPageTest, ShowSaysWhyWithoutAPageOrAViewer) {
    const HelpDisplay noViewer(BinFolder(), [](const HelpPage&) { return false; });
    int viewed = 0;
    const HelpDisplay counting(BinFolder(), [&viewed](const HelpPage&) { return ++viewed > 0; });
    EXPECT_EQ(counting.Show("settings.html"),
              "The help cannot be shown: no README lies with the program in " + BinFolder());
    EXPECT_EQ(viewed, 0);
    const std::string readme = Place("README.md");
    EXPECT_EQ(counting.Show("settings.html"), "");
    EXPECT_EQ(viewed, 1);
    EXPECT_EQ(noViewer.Show("settings.html"), "The help cannot be shown: no viewer could be started for " + readme);
}

}  // namespace
}  // namespace testbay
