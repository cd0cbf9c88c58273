#include <gtest/gtest.h>

#include <numeric>

#include "app/directories.h"
#include "comm/trace.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

TEST(HexDump, FullLineHasHexTextAndDirection) {
    uint8_t bytes[16];
    std::iota(bytes, bytes + 16, static_cast<uint8_t>(0x41));
    const std::string line = HexDumpLine(bytes, 16, '>');
    EXPECT_EQ(line, ">41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP");
    EXPECT_EQ(line.size(), 65u);
}

TEST(HexDump, PartialLineKeepsFullWidth) {
    const uint8_t byte = 0x05;
    const std::string line = HexDumpLine(&byte, 1, '!');
    EXPECT_EQ(line.size(), 65u);
    EXPECT_EQ(line.substr(0, 3), "!05");
    EXPECT_EQ(line.find_first_not_of(' ', 3), std::string::npos);
}

TEST(HexDump, PercentAndControlBytesShowAsBlanksButHighBytesAsThemselves) {
    const uint8_t bytes[] = {0x25, 0x0A, 0x1F, 0x20, 0x7F, 0xE4};
    const std::string line = HexDumpLine(bytes, sizeof(bytes), '<');
    EXPECT_EQ(line.substr(0, 18), "<25 0A 1F 20 7F E4");
    EXPECT_EQ(line.substr(49, 6), std::string("    \x7F\xE4"));
}

class TraceFile : public ::testing::Test {
protected:
    void SetUp() override {
        SetConfigDirectory(dir_.Path());
        SetTempDirectory(dir_.Path());
    }
    void TearDown() override { LogClose(); }
    void OpenWithLogfile(const char* value) {
        WriteWholeFile(dir_.File("Testbay.ini"), std::string("[FirmwareUpdate]\r\nLogfile=") + value + "\r\n");
        LogOpen("LOG.TXT");
    }
    std::string Log() {
        LogClose();
        return ReadWholeFile(dir_.File("LOG.TXT"));
    }
    TempDir dir_;
};

TEST_F(TraceFile, SeventeenBytesGiveTwoDumpLinesAfterOneTimeStamp) {
    OpenWithLogfile("1");
    uint8_t bytes[17] = {};
    TraceHex(bytes, sizeof(bytes), '>');
    const std::string log = Log();
    ASSERT_EQ(log.rfind("t=", 0), 0u);
    const size_t first = log.find('\n') + 1;
    const size_t second = log.find('\n', first) + 1;
    EXPECT_EQ(log.substr(first, 66), ">00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00" + std::string(17, ' ') + "\n");
    EXPECT_EQ(log.substr(second), ">00" + std::string(62, ' ') + "\n");
}

TEST_F(TraceFile, TraceLineWritesTimeStampThenText) {
    OpenWithLogfile("1");
    TraceLine("CHwtV4Client::SetLed");
    const std::string log = Log();
    const size_t end = log.find('\n');
    EXPECT_EQ(log.substr(0, 2), "t=");
    EXPECT_NE(log.substr(2, end - 2).find_first_of("0123456789"), std::string::npos);
    EXPECT_EQ(log.substr(end + 1), "CHwtV4Client::SetLed\n");
}

TEST_F(TraceFile, DisabledTraceStillLetsLogPrintfThrough) {
    OpenWithLogfile("0");
    TraceLine("hidden");
    const uint8_t byte = 0x68;
    TraceHex(&byte, 1, '>');
    LogPrintf("GetDeviceState -> %i", 4);
    const std::string log = Log();
    EXPECT_EQ(log.find("hidden"), std::string::npos);
    EXPECT_EQ(log.find("t="), std::string::npos);
    ASSERT_EQ(log.size(), 9u + 19u + 1u);
    EXPECT_EQ(log[2], ':');
    EXPECT_EQ(log[5], ':');
    EXPECT_EQ(log.substr(8), " GetDeviceState -> 4\n");
}

TEST_F(TraceFile, EachOpenStartsANewLogInTheTemporaryDirectory) {
    OpenWithLogfile("1");
    TraceLine("first run");
    LogClose();
    LogOpen("LOG.TXT");
    EXPECT_EQ(LogPath(), dir_.File("LOG.TXT"));
    TraceLine("second run");
    const std::string log = Log();
    EXPECT_EQ(log.find("first run"), std::string::npos);
    EXPECT_NE(log.find("second run"), std::string::npos);
}

TEST_F(TraceFile, UnwritableLogIsSkippedSilently) {
    WriteWholeFile(dir_.File("Testbay.ini"), "[FirmwareUpdate]\nLogfile=1\n");
    LogOpen((dir_.Path() + "missing/LOG.TXT").c_str());
    TraceLine("nowhere");
    LogPrintf("nowhere %i", 1);
    SUCCEED();
}

}  // namespace
}  // namespace testbay
