#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "app/directories.h"
#include "app/settings.h"
#include "app/settings_index.h"
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
    EXPECT_EQ(ReadIniInt("FirmwareUpdate", "Logfile", 0, "Testbay.ini"), 1);
    EXPECT_EQ(ReadIniInt("FirmwareUpdate", "Language", 1, "Testbay.ini"), 0);
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

#ifndef _WIN32
TEST_F(Settings, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 150;
    pid_t writers[2];
    for (int writer = 0; writer < 2; ++writer) {
        writers[writer] = fork();
        ASSERT_GE(writers[writer], 0);
        if (writers[writer] == 0) {
            const std::string key = "Writer" + std::to_string(writer);
            bool ok = true;
            for (int value = 1; value <= kWrites; ++value) {
                ok = WriteIniInt("Testbay", key.c_str(), value, "Testbay.ini") != 0 && ok;
                ok = WriteIniInt(("Section" + std::to_string(writer)).c_str(), ("Key" + std::to_string(value)).c_str(),
                                 value, "Testbay.ini") != 0 && ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (const pid_t writer : writers) {
        int status = 0;
        waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < 2; ++writer) {
        EXPECT_EQ(ReadIniInt("Testbay", ("Writer" + std::to_string(writer)).c_str(), 0, "Testbay.ini"), kWrites);
        for (int value = 1; value <= kWrites; ++value) {
            ASSERT_EQ(ReadIniInt(("Section" + std::to_string(writer)).c_str(), ("Key" + std::to_string(value)).c_str(),
                                 0, "Testbay.ini"),
                      value);
        }
    }
}
#endif

}  // namespace
}  // namespace testbay
