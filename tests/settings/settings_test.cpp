#include <gtest/gtest.h>

#include "settings/directories.h"
#include "settings/settings.h"
#include "settings/settings_index.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::ReadWholeFile;
using test::TempDir;

class Settings : public ::testing::Test {
protected:
    void SetUp() override { SetConfigDirectory(dir_.Path()); }

    TempDir dir_;
};

TEST_F(Settings, ReadsAndWritesWhatWindowsWroteWhateverTheFileNameCaseAndCutsReadsToTheBuffer) {
    test::WriteWholeFile(dir_.File("TESTBAY.INI"),
                         "; written by the old tool\r\n[TESTBAY]\r\ncomport = 7\r\n[firmwareupdate]\r\n"
                         "LOGFILE=1\r\nlanguage= 0 \r\n[Ports]\r\nCOM3=\"/dev/ttyUSB1\"\r\n");
    EXPECT_EQ(ReadIniInt("Testbay", "ComPort", 1, "Testbay.ini"), 7);
    char path[260];
    EXPECT_EQ(ReadIniString("Ports", "com3", "", path, sizeof(path), "Testbay.ini"), 12u);
    EXPECT_STREQ(path, "/dev/ttyUSB1");
    // String reads cut to the buffer and trim the default.
    char text[8] = "garbage";
    EXPECT_EQ(ReadIniString("WSTEST", "TIME", "1  ", text, sizeof(text), "Testbay.ini"), 1u);
    EXPECT_STREQ(text, "1");
    EXPECT_EQ(ReadIniString("Ports", "COM3", "", text, sizeof(text), "Testbay.ini"), 7u);
    EXPECT_STREQ(text, "/dev/tt");
    EXPECT_EQ(ReadIniString("Ports", "COM3", "", text, 1, "Testbay.ini"), 0u);
    EXPECT_STREQ(text, "");

    EXPECT_NE(WriteIniInt("Testbay", "ComPort", 12, "Testbay.ini"), 0);
    EXPECT_NE(WriteIniString("Ports", "COM3", nullptr, "Testbay.ini"), 0);
    EXPECT_EQ(ReadWholeFile(dir_.File("TESTBAY.INI")),
              "; written by the old tool\r\n[TESTBAY]\r\ncomport=12\r\n[firmwareupdate]\r\n"
              "LOGFILE=1\r\nlanguage= 0 \r\n[Ports]\r\n");
}

TEST_F(Settings, SharedFileLivesInTheWindowsDirectory) {
    TempDir windows;
    test::ScopedEnv env("TESTBAY_WINDOWS_DIR", windows.Path());
    EXPECT_NE(WriteWindowsIniString("WSTEST", "TIME", "30", settings::kSharedFile), 0);
    EXPECT_EQ(ReadWholeFile(windows.File("TESTBAY.INI")), "[WSTEST]\r\nTIME=30\r\n");
    char value[4];
    EXPECT_EQ(ReadWindowsIniString("wstest", "time", "", value, sizeof(value), settings::kSharedFile), 2u);
    EXPECT_EQ(ReadWholeFile(dir_.File("Testbay.ini")), "");
}

}  // namespace
}  // namespace testbay
