#include "platform/profile_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <array>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>

#include "support/temp_dir.h"

namespace testbay {
namespace {

#ifndef _WIN32
// Runs `work` in a forked child, which exits with 0 when it returned true.
template <typename Work>
pid_t Spawn(Work work) {
    pid_t pid = fork();
    if (pid == 0) _exit(work() ? 0 : 1);
    return pid;
}

bool Succeeded(pid_t pid) {
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#endif

class ProfileFileTest : public ::testing::Test {
protected:
    void Put(const std::string& content) { test::WriteWholeFile(path_, content); }
    std::string Get() const { return test::ReadWholeFile(path_); }
    // Everything in the directory except the file and its lock file.
    std::vector<std::string> Strays() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            std::string name = entry.path().filename().string();
            if (name != "Testbay.ini" && name != "Testbay.ini.lock") names.push_back(name);
        }
        return names;
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("Testbay.ini");
};

TEST_F(ProfileFileTest, ReadsWindowsWrittenFileAndIntegersLikeWindows) {
    Put("\xEF\xBB\xBF[Testbay]\r\n; written by the stand's Windows tool\r\n;ComPort=3\r\n"
        "  comport =  7 \t\r\nCOMPORT=8\r\n\r\n"
        "[ SECTION_WINDOW ]\r\nTitle=\"  blanks kept inside quotes  \"\r\nSingle='x'\r\n"
        "Mismatched=\"abc'\r\nLone=\"\r\nPath=C:\\a=b\r\nNoEquals\r\n"
        "[testbay]\r\nComPort=9\r\nOther=1\r\n[Last]\r\nNoEnd=tail");

    const std::tuple<const char*, const char*, std::optional<std::string>> cases[] = {
        {" testbay ", " comPORT ", "7"},
        {"section_window", "title", "  blanks kept inside quotes  "},
        {"SECTION_WINDOW", "Single", "x"},
        {"SECTION_WINDOW", "Mismatched", "\"abc'"},
        {"SECTION_WINDOW", "Lone", "\""},
        {"SECTION_WINDOW", "Path", "C:\\a=b"},
        {"SECTION_WINDOW", "NoEquals", std::nullopt},
        {"Last", "NoEnd", "tail"},
        {"Testbay", "Other", std::nullopt}};  // only in the duplicate section
    for (const auto& [section, key, value] : cases) EXPECT_EQ(ReadProfileValue(path_, section, key), value) << key;
    EXPECT_EQ(ReadProfileValue(dir_.File("missing.ini"), "Last", "NoEnd"), std::nullopt);
    EXPECT_EQ(ReadProfileSection(path_, "testBay"),
              (std::vector<std::pair<std::string, std::string>>{{"comport", "7"}}));

    // Integers read as Windows reads them.
    auto reads = [&](const std::string& value) {
        Put("[N]\nKey=" + value + "\n");
        return ReadProfileInt(path_, "n", "KEY", 5);
    };
    const std::pair<const char*, int> numbers[] = {{"", 5},
                                                   {"\"\"", 5},
                                                   {"-42", -42},
                                                   {"+7", 7},
                                                   {"0XfF", 255},
                                                   {"' -0x10'", -16},
                                                   {"12abc", 12},
                                                   {"abc", 0},
                                                   {"-", 0},
                                                   {"0x", 0},
                                                   {"4294967295", -1},
                                                   {"4294967298", 2},
                                                   {"-2147483648", INT_MIN},
                                                   {"0x1FFFFFFFF", -1}};
    for (const auto& [value, number] : numbers) EXPECT_EQ(reads(value), number) << value;
    EXPECT_EQ(ReadProfileInt(path_, "N", "Missing", 5), 5);
}

TEST_F(ProfileFileTest, WriteAndDeleteKeepTheRestByteForByte) {
    const std::string before = "; Shared with the Windows stand\r\nStray = before any section\r\n[Testbay]\r\n";
    const std::string after = "; a comment that stays\r\nOdd   spacing\t=  kept as it is\r\n";
    const std::string tail = "\r\n[SECTION_WINDOW]\r\nPOSITION=0000\r\n";
    Put(before + "  ComPort = 7 ; old\r\n" + after + tail);

    ASSERT_TRUE(WriteProfileValue(path_, "TESTBAY", "comport", "12"));
    EXPECT_EQ(Get(), before + "ComPort=12\r\n" + after + tail);

    // A new key goes after the section's last non-blank line, before the blank separator;
    // a new section goes at the end, after one blank line.
    ASSERT_TRUE(WriteProfileValue(path_, "testbay", "Language", "1"));
    ASSERT_TRUE(WriteProfileValue(path_, "FirmwareUpdate", "Logfile", "0"));
    EXPECT_EQ(Get(),
              before + "ComPort=12\r\n" + after + "Language=1\r\n" + tail + "\r\n[FirmwareUpdate]\r\nLogfile=0\r\n");
    EXPECT_TRUE(Strays().empty());

    // A new file is written as Windows writes it.
    std::filesystem::remove(path_);
    ASSERT_TRUE(WriteProfileValue(path_, "APP", "INIPATH", "/etc/testbay/"));
    ASSERT_TRUE(WriteProfileValue(path_, "Testbay", "ComPort", "1"));
    EXPECT_EQ(Get(), "[APP]\r\nINIPATH=/etc/testbay/\r\n\r\n[Testbay]\r\nComPort=1\r\n");

    // LF files keep LF; a last line without its end gets one before the new line.
    Put("[A]\nx=1");
    ASSERT_TRUE(WriteProfileValue(path_, "A", "y", "2"));
    EXPECT_EQ(Get(), "[A]\nx=1\ny=2\n");
    // A replaced last line keeps having no line end; the BOM stays.
    Put("\xEF\xBB\xBF[A]\r\nx=1");
    ASSERT_TRUE(WriteProfileValue(path_, "a", "X", "22"));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\r\nx=22");

    // Lines that would break the file are refused and change nothing.
    EXPECT_FALSE(WriteProfileValue(path_, "A", "x", "two\r\nlines"));
    EXPECT_FALSE(WriteProfileValue(path_, "A", "k=ey", "1"));
    EXPECT_FALSE(WriteProfileValue(path_, "A]", "x", "1"));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\r\nx=22");

    // Deleting a key takes all its lines; comments and other sections stay.
    Put("[Ports]\r\nCOM1=/dev/ttyS0\r\ncom7=/dev/ttyUSB0\r\n; COM7 stays a comment\r\nCOM7=/dev/ttyUSB1\r\n\r\n"
        "[Testbay]\r\nCOM7=untouched\r\n[ports]\r\nCOM9=/dev/ttyACM0\r\n");
    ASSERT_TRUE(WriteProfileValue(path_, "PORTS", "Com7", std::nullopt));
    EXPECT_EQ(Get(),
              "[Ports]\r\nCOM1=/dev/ttyS0\r\n; COM7 stays a comment\r\n\r\n"
              "[Testbay]\r\nCOM7=untouched\r\n[ports]\r\nCOM9=/dev/ttyACM0\r\n");
}

TEST_F(ProfileFileTest, StructuresCarryTheirSizeAndSum) {
    const int32_t written[4] = {-12, 40, 1920, 1080};
    int32_t read[4] = {};
    ASSERT_TRUE(WriteProfileStruct(path_, "SECTION_WINDOW", "POSITION", written, sizeof written));
    ASSERT_TRUE(ReadProfileStruct(path_, "section_window", "position", read, sizeof read));
    EXPECT_EQ(std::memcmp(read, written, sizeof read), 0);

    const unsigned char full[] = {0xFF, 0xFF, 0xFF};  // the sum is taken modulo 256
    ASSERT_TRUE(WriteProfileStruct(path_, "S", "Full", full, sizeof full));
    EXPECT_EQ(ReadProfileValue(path_, "S", "Full"), "FFFFFFFD");

    // Stored for another size, sum byte off by one, odd number of digits, not hexadecimal.
    const std::pair<std::string, size_t> refused[] = {
        {"01ABAC", 1}, {"01ABAC", 3}, {"01ABAD", 2}, {"01ABA", 2}, {"01GBAC", 2}};
    for (const auto& [value, size] : refused) {
        ASSERT_TRUE(WriteProfileValue(path_, "S", "V", value));
        std::array<unsigned char, 3> dest{0x55, 0x55, 0x55};
        EXPECT_FALSE(ReadProfileStruct(path_, "S", "V", dest.data(), size)) << value;
        EXPECT_EQ(dest, (std::array<unsigned char, 3>{0x55, 0x55, 0x55})) << value;  // untouched
    }

    // Lower-case digits, as other writers may use them, read as well.
    ASSERT_TRUE(WriteProfileValue(path_, "S", "V", "01abac"));
    std::array<unsigned char, 2> pair{};
    ASSERT_TRUE(ReadProfileStruct(path_, "S", "V", pair.data(), pair.size()));
    EXPECT_EQ(pair, (std::array<unsigned char, 2>{0x01, 0xAB}));
}

// Processes that write at once; the Windows build has its own cases for this.
#ifndef _WIN32
TEST_F(ProfileFileTest, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 6;
    constexpr int kKeysEach = 40;
    Put("[Testbay]\r\nComPort=1\r\n");
    // Half the keys share one section, the other half create and fill their own.
    auto sectionOf = [](int w, int k) { return k % 2 == 0 ? "Shared" : "Writer" + std::to_string(w); };
    auto keyOf = [](int w, int k) { return "W" + std::to_string(w) + "K" + std::to_string(k); };

    int gate[2];  // the children start together when the pipe closes
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        children.push_back(Spawn([&] {
            close(gate[1]);
            char byte;
            while (read(gate[0], &byte, 1) < 0 && errno == EINTR) continue;
            bool ok = true;
            for (int k = 0; k < kKeysEach; ++k) {
                ok = WriteProfileValue(path_, sectionOf(w, k), keyOf(w, k), std::to_string(w * 1000 + k)) && ok;
            }
            return ok;
        }));
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t pid : children) EXPECT_TRUE(Succeeded(pid));

    EXPECT_EQ(ReadProfileValue(path_, "Testbay", "ComPort"), "1");
    EXPECT_EQ(ReadProfileSection(path_, "Shared").size(), static_cast<size_t>(kWriters * kKeysEach / 2));
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(ReadProfileSection(path_, "Writer" + std::to_string(w)).size(), static_cast<size_t>(kKeysEach / 2));
        for (int k = 0; k < kKeysEach; ++k) {
            EXPECT_EQ(ReadProfileValue(path_, sectionOf(w, k), keyOf(w, k)), std::to_string(w * 1000 + k));
        }
    }
    EXPECT_TRUE(Strays().empty());
}

TEST_F(ProfileFileTest, FailedWriteLeavesOldFileAndNoTemporary) {
    EXPECT_FALSE(WriteProfileValue(dir_.File("missing/Testbay.ini"), "A", "b", "c"));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));

    // A write that fails half-way (here: the file size limit) leaves the old file whole.
    const std::string old = "[Testbay]\r\nComPort=3\r\n";
    Put(old);
    pid_t writer = Spawn([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        return !WriteProfileValue(path_, "Testbay", "Big", std::string(100000, 'x'));
    });
    EXPECT_TRUE(Succeeded(writer)) << "the oversized write did not fail";
    EXPECT_EQ(Get(), old);
    EXPECT_TRUE(Strays().empty());
}
#endif

}  // namespace
}  // namespace testbay
