#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "app/directories.h"
#include "app/settings.h"
#include "app/settings_index.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::ReadWholeFile;
using test::ScopedEnv;
using test::TempDir;
using test::WriteWholeFile;

class Settings : public ::testing::Test {
protected:
    void SetUp() override { SetConfigDirectory(dir_.Path()); }
    std::string File() const { return ReadWholeFile(dir_.File("Testbay.ini")); }

    TempDir dir_;
};

TEST_F(Settings, ReadsWhatWindowsWrote) {
    WriteWholeFile(dir_.File("Testbay.ini"),
                   "; written by the old tool\r\n[TESTBAY]\r\ncomport = 7\r\n[firmwareupdate]\r\n"
                   "LOGFILE=1\r\nlanguage= 0 \r\n[Ports]\r\nCOM3=\"/dev/ttyUSB1\"\r\n");
    EXPECT_EQ(ReadIniInt("Testbay", "ComPort", 1, "Testbay.ini"), 7);
    EXPECT_EQ(ReadIniInt("FirmwareUpdate", "Logfile", 0, "Testbay.ini"), 1);
    EXPECT_EQ(ReadIniInt("FirmwareUpdate", "Language", 1, "Testbay.ini"), 0);
    char path[260];
    EXPECT_EQ(ReadIniString("Ports", "com3", "", path, sizeof(path), "Testbay.ini"), 12u);
    EXPECT_STREQ(path, "/dev/ttyUSB1");
}

TEST_F(Settings, FileNamesMatchWithoutRegardToCase) {
    WriteWholeFile(dir_.File("TESTBAY.INI"), "[Testbay]\r\nComPort=4\r\n");
    EXPECT_EQ(ReadIniInt("Testbay", "ComPort", 1, "Testbay.ini"), 4);
    EXPECT_NE(WriteIniInt("Testbay", "ComPort", 5, "Testbay.ini"), 0);
    EXPECT_EQ(ReadWholeFile(dir_.File("TESTBAY.INI")), "[Testbay]\r\nComPort=5\r\n");
}

TEST_F(Settings, StringReadsCutToTheBufferAndTrimTheDefault) {
    char text[8] = "garbage";
    EXPECT_EQ(ReadIniString("WSTEST", "TIME", "1  ", text, sizeof(text), "Testbay.ini"), 1u);
    EXPECT_STREQ(text, "1");
    WriteIniString("Testbay", "Note", "a rather long value", "Testbay.ini");
    EXPECT_EQ(ReadIniString("Testbay", "Note", "", text, sizeof(text), "Testbay.ini"), 7u);
    EXPECT_STREQ(text, "a rathe");
    EXPECT_EQ(ReadIniString("Testbay", "Note", "", text, 1, "Testbay.ini"), 0u);
    EXPECT_STREQ(text, "");
}

TEST_F(Settings, WritesKeepCommentsAndUnrelatedKeys) {
    const std::string before = "; keep me\r\n[Testbay]\r\nComPort=1\r\nOther=x\r\n\r\n[Foreign]\r\nKey=1\r\n";
    WriteWholeFile(dir_.File("Testbay.ini"), before);
    EXPECT_NE(WriteIniInt("Testbay", "comport", 12, "Testbay.ini"), 0);
    EXPECT_EQ(File(), "; keep me\r\n[Testbay]\r\nComPort=12\r\nOther=x\r\n\r\n[Foreign]\r\nKey=1\r\n");
    EXPECT_NE(WriteIniString("Testbay", "Other", nullptr, "Testbay.ini"), 0);
    EXPECT_EQ(File().find("Other"), std::string::npos);
}

TEST_F(Settings, WindowPositionRoundTripsAndDamageReadsAsFailure) {
    const int32_t written[4] = {-8, 0, 1928, 88};
    ASSERT_NE(WriteIniStruct("SECTION_WINDOW", "POSITION", written, sizeof(written), "Testbay.ini"), 0);
    int32_t read[4] = {};
    ASSERT_NE(ReadIniStruct("SECTION_WINDOW", "POSITION", read, sizeof(read), "Testbay.ini"), 0);
    EXPECT_EQ(std::memcmp(written, read, sizeof(read)), 0);
    EXPECT_EQ(ReadIniStruct("SECTION_WINDOW", "POSITION", read, 12, "Testbay.ini"), 0);

    std::string file = File();
    const size_t sum = file.find("\r\n", file.find("POSITION")) - 1;
    file[sum] = file[sum] == '0' ? '1' : '0';
    WriteWholeFile(dir_.File("Testbay.ini"), file);
    EXPECT_EQ(ReadIniStruct("SECTION_WINDOW", "POSITION", read, sizeof(read), "Testbay.ini"), 0);
}

TEST_F(Settings, UnwritableDirectoryGivesDefaultsAndFailedWrites) {
    SetConfigDirectory(dir_.Path() + "missing/deeper/");
    EXPECT_EQ(WriteIniInt("Testbay", "ComPort", 3, "Testbay.ini"), 0);
    EXPECT_EQ(ReadIniInt("Testbay", "ComPort", 1, "Testbay.ini"), 1);
}

TEST_F(Settings, SharedFileLivesInTheWindowsDirectory) {
    TempDir windows;
    ScopedEnv env("TESTBAY_WINDOWS_DIR", windows.Path());
    char value[16];
    ReadWindowsIniString(settings::kWsTestBaudrate.section, settings::kWsTestBaudrate.key,
                         settings::kWsTestBaudrate.defaultValue, value, sizeof(value), settings::kSharedFile);
    EXPECT_STREQ(value, "512000");
    EXPECT_NE(WriteWindowsIniString("WSTEST", "TIME", "30", settings::kSharedFile), 0);
    EXPECT_EQ(ReadWholeFile(windows.File("TESTBAY.INI")), "[WSTEST]\r\nTIME=30\r\n");
    EXPECT_EQ(File(), "");
}

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

}  // namespace
}  // namespace testbay
