#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <numeric>
#include <sstream>
#include <vector>

#include "settings/directories.h"
#include "comm/port_mapping.h"
#include "comm/trace.h"
#include "settings/version.h"
#include "platform/clock.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

TEST(HexDump, LinesKeepTheirWidthAndShowPercentAndControlBytesAsBlanks) {
    uint8_t bytes[16];
    std::iota(bytes, bytes + 16, static_cast<uint8_t>(0x41));
    EXPECT_EQ(HexDumpLine(bytes, 16, '>'), ">41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP");
    const uint8_t odd[] = {0x25, 0x0A, 0x1F, 0x20, 0x7F, 0xE4};
    EXPECT_EQ(HexDumpLine(odd, sizeof(odd), '<'),
              "<25 0A 1F 20 7F E4" + std::string(31, ' ') + "    \x7F\xE4" + std::string(10, ' '));
}

class TraceFile : public ::testing::Test {
protected:
    void SetUp() override {
        SetConfigDirectory(dir_.Path());
        SetTempDirectory(dir_.Path());
        clock_.AdvanceTo(1234);
    }
    void TearDown() override { LogClose(); }
    void OpenWithLogfile(const char* value) {
        test::WriteWholeFile(dir_.File("Testbay.ini"), std::string("[FirmwareUpdate]\r\nLogfile=") + value + "\r\n");
        LogOpen("LOG.TXT");
    }
    std::string Log() {
        LogClose();
        return test::ReadTextFile(dir_.File("LOG.TXT"));
    }

    test::TempDir dir_;
    VirtualClock clock_;
    ScopedClock clockScope_{clock_};
};

TEST_F(TraceFile, EachOpenStartsANewLogWhoseEntriesFollowATimeStampAndLogfileGatesTheTrace) {
    OpenWithLogfile("1");
    TraceLine("first run");
    LogClose();
    LogOpen("LOG.TXT");
    EXPECT_EQ(LogPath(), dir_.File("LOG.TXT"));
    TraceLine("CHwtV4Client::SetLed");
    uint8_t bytes[17] = {};
    TraceHex(bytes, sizeof(bytes), '>');
    EXPECT_EQ(Log(), "t=1234\nCHwtV4Client::SetLed\nt=1234\n>00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00" +
                         std::string(17, ' ') + "\n>00" + std::string(62, ' ') + "\n");

    // An unwritable log is skipped silently.
    LogOpen((dir_.Path() + "missing/LOG.TXT").c_str());
    TraceLine("nowhere");
    LogPrintf("nowhere %i", 1);

    // With the trace off only LogPrintf writes.
    OpenWithLogfile("0");
    TraceLine("hidden");
    const uint8_t byte = 0x68;
    TraceHex(&byte, 1, '>');
    LogPrintf("GetDeviceState -> %i", 4);
    const std::string log = Log();
    ASSERT_EQ(log.size(), 9u + 19u + 1u);
    EXPECT_EQ(log[2], ':');
    EXPECT_EQ(log[5], ':');
    EXPECT_EQ(log.substr(8), " GetDeviceState -> 4\n");
}

TEST_F(TraceFile, ALinkInPlaceOfTheLogIsReplacedAndItsTargetLeftAsItWas) {
    const std::string target = dir_.File("someone-elses.txt");
    test::WriteWholeFile(target, "kept\n");
    for (const char* logfile : {"0", "1"}) {
        SCOPED_TRACE(std::string("Logfile=") + logfile);
        std::filesystem::remove(dir_.File("LOG.TXT"));
        std::error_code unsupported;
        std::filesystem::create_symlink(target, dir_.File("LOG.TXT"), unsupported);
        if (unsupported) GTEST_SKIP() << "no symbolic links here: " << unsupported.message();
        OpenWithLogfile(logfile);
        TraceLine("traced");
        LogPrintf("logged");
        const std::string log = Log();
        EXPECT_NE(log.find("logged"), std::string::npos);
        EXPECT_FALSE(std::filesystem::is_symlink(dir_.File("LOG.TXT")));
        EXPECT_EQ(test::ReadWholeFile(target), "kept\n");
    }
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// The trace kept in a file of the user's choice, beyond the program's end.
class LastingTraceFile : public TraceFile {
protected:
    void Keep(uint64_t limit = kLastingTraceLimit) {
        std::string error;
        ASSERT_TRUE(LogAlsoTo(kept_, error, limit)) << error;
    }
    std::string Kept() {
        LogClose();
        return test::ReadTextFile(kept_);
    }

    const std::string kept_ = dir_.File("stand.trace");
};

TEST_F(LastingTraceFile, EveryProgramStartAppendsTheWholeTraceBehindAHeaderWithDateVersionAndPort) {
    test::WriteWholeFile(kept_, "earlier\n");
    for (int start = 0; start < 2; ++start) {
        // LOG.TXT is off; the file that was asked for gets everything.
        OpenWithLogfile("0");
        Keep();
        LogPortOpening(7);
        TraceLine("CHwtV4Client::SetLed");
        const uint8_t byte = 0x68;
        TraceHex(&byte, 1, '>');
        LogPrintf("GetDeviceState -> %i", 0);
        LogPortOpening(8);
        LogClose();
    }
    EXPECT_EQ(test::ReadTextFile(dir_.File("LOG.TXT")).find("SetLed"), std::string::npos);
    const std::vector<std::string> lines = LinesOf(Kept());
    ASSERT_EQ(lines.size(), 1u + 2 * 7u);
    EXPECT_EQ(lines[0], "earlier");
    const std::string header = " testbay " + std::string(kTestbayVersion) + " port COM7 (" + ComPortPath(7) + ") ====";
    for (const size_t start : {1u, 8u}) {
        std::string stamp = lines[start].substr(0, 24);
        std::replace_if(
            stamp.begin(), stamp.end(), [](unsigned char c) { return std::isdigit(c); }, 'd');
        EXPECT_EQ(stamp, "==== dddd-dd-dd dd:dd:dd") << lines[start];
        EXPECT_EQ(lines[start].substr(24), header) << lines[start];
        EXPECT_EQ(lines[start + 1], "t=1234");
        EXPECT_EQ(lines[start + 2], "CHwtV4Client::SetLed");
        EXPECT_EQ(lines[start + 4].substr(0, 3), ">68");
        EXPECT_EQ(lines[start + 5].substr(8), " GetDeviceState -> 0");
        EXPECT_EQ(lines[start + 6], "port COM8 (" + ComPortPath(8) + ")");
    }
}

TEST_F(LastingTraceFile, AStartThatTracesBeforeItOpensAPortStillBeginsWithAHeader) {
    Keep();
    TraceLine("CHwtV4Client::EnterHardwaretest");
    LogPortOpening(3);
    const std::vector<std::string> lines = LinesOf(Kept());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("testbay " + std::string(kTestbayVersion) + " no port opened yet ===="), std::string::npos)
        << lines[0];
    EXPECT_EQ(lines[3], "port COM3 (" + ComPortPath(3) + ")");
}

TEST_F(LastingTraceFile, EachStartWritesNoMoreThanItsLimitAndSaysWhereItStopped) {
    for (int start = 0; start < 2; ++start) {
        Keep(200);
        LogPortOpening(1);
        for (int line = 0; line < 100; ++line) TraceLine("CHwtV4Client::GetLed");
        LogClose();
    }
    const std::vector<std::string> lines = LinesOf(Kept());
    size_t bytes = 0;
    int stops = 0;
    for (const std::string& line : lines) {
        if (line.find("stops here") != std::string::npos) {
            ++stops;
            EXPECT_LE(bytes, 200u);
            bytes = 0;
        } else {
            bytes += line.size() + 1;
        }
    }
    EXPECT_EQ(stops, 2);
    EXPECT_NE(lines.back().find("stops here"), std::string::npos);
}

TEST_F(LastingTraceFile, IsNeverWrittenThroughALinkNorIntoAnythingButAFile) {
    std::string error;
    EXPECT_FALSE(LogAlsoTo(dir_.Path() + "missing/stand.trace", error));
    EXPECT_FALSE(error.empty());
    error.clear();
    std::filesystem::create_directory(dir_.File("folder"));
    EXPECT_FALSE(LogAlsoTo(dir_.File("folder"), error));
    EXPECT_FALSE(error.empty());

    const std::string target = dir_.File("someone-elses.txt");
    test::WriteWholeFile(target, "kept\n");
    std::error_code unsupported;
    std::filesystem::create_symlink(target, kept_, unsupported);
    if (unsupported) GTEST_SKIP() << "no symbolic links here: " << unsupported.message();
    EXPECT_FALSE(LogAlsoTo(kept_, error));
    EXPECT_EQ(error, "it is a link");
    TraceLine("traced");
    LogClose();
    EXPECT_EQ(test::ReadWholeFile(target), "kept\n");
}

}  // namespace
}  // namespace testbay
