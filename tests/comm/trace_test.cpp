#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "settings/directories.h"
#include "comm/trace.h"
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

}  // namespace
}  // namespace testbay
