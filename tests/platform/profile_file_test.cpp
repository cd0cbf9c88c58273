#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace testbay {
namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;

class ProfileFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/profile_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/Testbay.ini";
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(dir_, ignored);
    }

    void Put(const std::string& content) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    std::string Get() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Everything in the directory except the file and its lock file.
    std::vector<std::string> Strays() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            std::string name = entry.path().filename();
            if (name != "Testbay.ini" && name != "Testbay.ini.lock") names.push_back(name);
        }
        return names;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(ProfileFileTest, ReadsWindowsWrittenFile) {
    Put("\xEF\xBB\xBF[Testbay]\r\n"
        "; written by the stand's Windows tool\r\n"
        ";ComPort=3\r\n"
        "  comport =  7 \t\r\n"
        "COMPORT=8\r\n"
        "\r\n"
        "[ SECTION_WINDOW ]\r\n"
        "Title=\"  blanks kept inside quotes  \"\r\n"
        "Single='x'\r\n"
        "Mismatched=\"abc'\r\n"
        "Lone=\"\r\n"
        "Empty=\r\n"
        "Path=C:\\a=b\r\n"
        "\t Indented\t=\tvalue\t\r\n"
        "NoEquals\r\n"
        "[testbay]\r\n"
        "ComPort=9\r\n"
        "Other=1\r\n"
        "[Last]\r\n"
        "NoEnd=tail");

    EXPECT_EQ(ReadProfileValue(path_, "TESTBAY", "ComPort"), "7");
    EXPECT_EQ(ReadProfileValue(path_, " testbay ", " comPORT "), "7");
    EXPECT_EQ(ReadProfileValue(path_, "Testbay", "Other"), std::nullopt);  // only in the duplicate section
    EXPECT_EQ(ReadProfileValue(path_, "section_window", "title"), "  blanks kept inside quotes  ");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "Single"), "x");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "Mismatched"), "\"abc'");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "Lone"), "\"");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "Empty"), "");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "Path"), "C:\\a=b");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "indented"), "value");
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "NoEquals"), std::nullopt);
    EXPECT_EQ(ReadProfileValue(path_, "SECTION_WINDOW", "Missing"), std::nullopt);
    EXPECT_EQ(ReadProfileValue(path_, "Last", "NoEnd"), "tail");
    EXPECT_EQ(ReadProfileValue(path_, "Missing", "NoEnd"), std::nullopt);
    EXPECT_EQ(ReadProfileValue(dir_ + "/missing.ini", "Last", "NoEnd"), std::nullopt);

    EXPECT_EQ(ReadProfileSection(path_, "testBay"), (Keys{{"comport", "7"}}));
    EXPECT_EQ(ReadProfileSection(path_, "Section_Window"),
              (Keys{{"Title", "  blanks kept inside quotes  "},
                    {"Single", "x"},
                    {"Mismatched", "\"abc'"},
                    {"Lone", "\""},
                    {"Empty", ""},
                    {"Path", "C:\\a=b"},
                    {"Indented", "value"}}));
    EXPECT_TRUE(ReadProfileSection(path_, "Missing").empty());
}

TEST_F(ProfileFileTest, ReadsLfLinesAndLongLines) {
    std::string longValue(200000, 'v');
    Put("Orphan=before any section\n[Ports]\nCOM7=/dev/ttyUSB0\nLong=" + longValue + "\n[Next]\nA=1\n");
    EXPECT_TRUE(ReadProfileSection(path_, "").empty());
    EXPECT_EQ(ReadProfileValue(path_, "ports", "com7"), "/dev/ttyUSB0");
    EXPECT_EQ(ReadProfileValue(path_, "Ports", "Long"), longValue);
    EXPECT_EQ(ReadProfileValue(path_, "Next", "A"), "1");
}

TEST_F(ProfileFileTest, WriteChangesOnlyItsLine) {
    const std::string head =
        "; Settings shared with the Windows stand\r\n"
        "Stray = before any section\r\n"
        "[Testbay]\r\n"
        "  ComPort = 7 ; old\r\n"
        "; a comment that stays\r\n"
        "Odd   spacing\t=  kept as it is\r\n";
    const std::string tail =
        "\r\n"
        "[SECTION_WINDOW]\r\n"
        "POSITION=0000\r\n";
    Put(head + tail);

    ASSERT_TRUE(WriteProfileValue(path_, "TESTBAY", "comport", "12"));
    std::string expectedHead =
        "; Settings shared with the Windows stand\r\n"
        "Stray = before any section\r\n"
        "[Testbay]\r\n"
        "ComPort=12\r\n"
        "; a comment that stays\r\n"
        "Odd   spacing\t=  kept as it is\r\n";
    EXPECT_EQ(Get(), expectedHead + tail);

    // A new key goes after the section's last non-blank line, before the blank separator.
    ASSERT_TRUE(WriteProfileValue(path_, "testbay", "Language", "1"));
    expectedHead += "Language=1\r\n";
    EXPECT_EQ(Get(), expectedHead + tail);

    // A new section goes at the end, after one blank line.
    ASSERT_TRUE(WriteProfileValue(path_, "FirmwareUpdate", "Logfile", "0"));
    EXPECT_EQ(Get(), expectedHead + tail + "\r\n[FirmwareUpdate]\r\nLogfile=0\r\n");

    // The same value again leaves the file alone.
    struct stat before {};
    ASSERT_EQ(stat(path_.c_str(), &before), 0);
    ASSERT_TRUE(WriteProfileValue(path_, "FirmwareUpdate", "Logfile", "0"));
    struct stat after {};
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);

    EXPECT_TRUE(Strays().empty());
}

TEST_F(ProfileFileTest, AddedLinesFollowTheFile) {
    // A new file is written as Windows writes it.
    ASSERT_TRUE(WriteProfileValue(path_, "APP", "INIPATH", "/etc/testbay/"));
    ASSERT_TRUE(WriteProfileValue(path_, "Testbay", "ComPort", "1"));
    EXPECT_EQ(Get(), "[APP]\r\nINIPATH=/etc/testbay/\r\n\r\n[Testbay]\r\nComPort=1\r\n");

    // LF files keep LF; a last line without its end gets one before the new line.
    Put("[A]\nx=1");
    ASSERT_TRUE(WriteProfileValue(path_, "A", "y", "2"));
    EXPECT_EQ(Get(), "[A]\nx=1\ny=2\n");
    Put("[A]\nx=1");
    ASSERT_TRUE(WriteProfileValue(path_, "B", "y", "2"));
    EXPECT_EQ(Get(), "[A]\nx=1\n\n[B]\ny=2\n");

    // A replaced last line keeps having no line end; the BOM stays.
    Put("\xEF\xBB\xBF[A]\r\nx=1");
    ASSERT_TRUE(WriteProfileValue(path_, "a", "X", "22"));
    EXPECT_EQ(Get(), "\xEF\xBB\xBF[A]\r\nx=22");

    // A file that ends in a blank line gets no second one.
    Put("[A]\r\nx=1\r\n\r\n");
    ASSERT_TRUE(WriteProfileValue(path_, "B", "y", "2"));
    EXPECT_EQ(Get(), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");

    // A lone CR at the end is no line end: the new key still gets a line of its own.
    Put("[A]\r\nx=1\r");
    ASSERT_TRUE(WriteProfileValue(path_, "A", "y", "2"));
    EXPECT_EQ(ReadProfileValue(path_, "A", "x"), "1");
    EXPECT_EQ(ReadProfileValue(path_, "A", "y"), "2");

    // Lines that would break the file are refused and change nothing.
    std::string kept = Get();
    EXPECT_FALSE(WriteProfileValue(path_, "A", "x", "two\r\nlines"));
    EXPECT_FALSE(WriteProfileValue(path_, "A", "k=ey", "1"));
    EXPECT_FALSE(WriteProfileValue(path_, "A]", "x", "1"));
    EXPECT_EQ(Get(), kept);
}

TEST_F(ProfileFileTest, DeletesKeysAndSections) {
    Put("[Ports]\r\n"
        "COM1=/dev/ttyS0\r\n"
        "com7=/dev/ttyUSB0\r\n"
        "; COM7 stays a comment\r\n"
        "COM7=/dev/ttyUSB1\r\n"
        "\r\n"
        "[Testbay]\r\n"
        "COM7=untouched\r\n"
        "[ports]\r\n"
        "COM9=/dev/ttyACM0\r\n");

    ASSERT_TRUE(WriteProfileValue(path_, "PORTS", "Com7", std::nullopt));
    EXPECT_EQ(Get(),
              "[Ports]\r\n"
              "COM1=/dev/ttyS0\r\n"
              "; COM7 stays a comment\r\n"
              "\r\n"
              "[Testbay]\r\n"
              "COM7=untouched\r\n"
              "[ports]\r\n"
              "COM9=/dev/ttyACM0\r\n");
    EXPECT_EQ(ReadProfileValue(path_, "Ports", "COM7"), std::nullopt);

    std::string kept = Get();
    ASSERT_TRUE(WriteProfileValue(path_, "Ports", "COM8", std::nullopt));
    ASSERT_TRUE(WriteProfileValue(path_, "Nowhere", "COM8", std::nullopt));
    ASSERT_TRUE(DeleteProfileSection(path_, "Nowhere"));
    EXPECT_EQ(Get(), kept);

    // Both sections of the name go, each up to the next header.
    ASSERT_TRUE(DeleteProfileSection(path_, " ports "));
    EXPECT_EQ(Get(), "[Testbay]\r\nCOM7=untouched\r\n");
    EXPECT_TRUE(ReadProfileSection(path_, "Ports").empty());

    // Deleting from a file that does not exist creates nothing.
    std::string other = dir_ + "/Other.ini";
    EXPECT_TRUE(WriteProfileValue(other, "A", "b", std::nullopt));
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(ProfileFileTest, ReadsIntegersLikeWindows) {
    Put("[N]\n"
        "Empty=\n"
        "QuotedEmpty=\"\"\n"
        "Negative=-42\n"
        "Plus=+7\n"
        "Hex=0x1F\n"
        "HexUpper=0XfF\n"
        "NegativeHex=' -0x10'\n"
        "Trailing=12abc\n"
        "Garbage=abc\n"
        "SignOnly=-\n"
        "HexPrefixOnly=0x\n"
        "AllOnes=4294967295\n"
        "Wraps=4294967298\n"
        "Smallest=-2147483648\n"
        "HexWraps=0x1FFFFFFFF\n");
    EXPECT_EQ(ReadProfileInt(path_, "N", "Missing", 5), 5);
    EXPECT_EQ(ReadProfileInt(path_, "Nope", "Empty", 5), 5);
    EXPECT_EQ(ReadProfileInt(path_, "n", "empty", 5), 5);
    EXPECT_EQ(ReadProfileInt(path_, "N", "QuotedEmpty", 5), 5);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Negative", 5), -42);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Plus", 5), 7);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Hex", 5), 31);
    EXPECT_EQ(ReadProfileInt(path_, "N", "HexUpper", 5), 255);
    EXPECT_EQ(ReadProfileInt(path_, "N", "NegativeHex", 5), -16);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Trailing", 5), 12);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Garbage", 5), 0);
    EXPECT_EQ(ReadProfileInt(path_, "N", "SignOnly", 5), 0);
    EXPECT_EQ(ReadProfileInt(path_, "N", "HexPrefixOnly", 5), 0);
    EXPECT_EQ(ReadProfileInt(path_, "N", "AllOnes", 5), -1);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Wraps", 5), 2);
    EXPECT_EQ(ReadProfileInt(path_, "N", "Smallest", 5), INT_MIN);
    EXPECT_EQ(ReadProfileInt(path_, "N", "HexWraps", 5), -1);
    EXPECT_EQ(ReadProfileInt(dir_ + "/missing.ini", "N", "Hex", 5), 5);
}

TEST_F(ProfileFileTest, StructuresCarryTheirSize) {
    const unsigned char pair[] = {0x01, 0xAB};
    ASSERT_TRUE(WriteProfileStruct(path_, "S", "Pair", pair, sizeof pair));
    EXPECT_EQ(ReadProfileValue(path_, "S", "Pair"), "01ABAC");

    struct Rect {
        int32_t left, top, right, bottom;
    };
    const Rect written{-12, 40, 1920, 1080};
    ASSERT_TRUE(WriteProfileStruct(path_, "SECTION_WINDOW", "POSITION", &written, sizeof written));
    Rect read{};
    ASSERT_TRUE(ReadProfileStruct(path_, "section_window", "position", &read, sizeof read));
    EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);

    const std::array<unsigned char, 3> untouched{0x55, 0x55, 0x55};
    auto rejects = [&](const std::string& value, size_t size) {
        EXPECT_TRUE(WriteProfileValue(path_, "S", "V", value));
        std::array<unsigned char, 3> dest = untouched;
        bool ok = ReadProfileStruct(path_, "S", "V", dest.data(), size);
        EXPECT_EQ(dest, untouched) << value;
        return !ok;
    };
    EXPECT_TRUE(rejects("01ABAC", 1));    // stored for another size
    EXPECT_TRUE(rejects("01ABAC", 3));
    EXPECT_TRUE(rejects("01ABAD", 2));    // sum byte off by one
    EXPECT_TRUE(rejects("01ABA", 2));     // odd number of digits
    EXPECT_TRUE(rejects("01GBAC", 2));    // not hexadecimal
    EXPECT_TRUE(rejects("", 0));
    EXPECT_TRUE(rejects("0", 0));

    // Lower-case digits, as other writers may use them, read as well.
    ASSERT_TRUE(WriteProfileValue(path_, "S", "V", "01abac"));
    unsigned char dest[2] = {};
    ASSERT_TRUE(ReadProfileStruct(path_, "S", "V", dest, sizeof dest));
    EXPECT_EQ(dest[0], 0x01);
    EXPECT_EQ(dest[1], 0xAB);

    // The sum is taken modulo 256.
    const unsigned char full[] = {0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(WriteProfileStruct(path_, "S", "Full", full, sizeof full));
    EXPECT_EQ(ReadProfileValue(path_, "S", "Full"), "FFFFFFFD");
}

TEST_F(ProfileFileTest, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 6;
    constexpr int kKeysEach = 40;
    Put("[Testbay]\r\nComPort=1\r\n");

    // The children start together when the pipe closes.
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            char byte;
            while (read(gate[0], &byte, 1) < 0 && errno == EINTR) {
            }
            bool ok = true;
            for (int k = 0; k < kKeysEach; ++k) {
                std::string key = "W" + std::to_string(w) + "K" + std::to_string(k);
                // Half the keys share one section, the other half create and fill their own.
                std::string section = (k % 2 == 0) ? "Shared" : "Writer" + std::to_string(w);
                ok = WriteProfileValue(path_, section, key, "v" + std::to_string(w * 1000 + k)) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    EXPECT_EQ(ReadProfileValue(path_, "Testbay", "ComPort"), "1");
    EXPECT_EQ(ReadProfileSection(path_, "Shared").size(), static_cast<size_t>(kWriters * kKeysEach / 2));
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(ReadProfileSection(path_, "Writer" + std::to_string(w)).size(), static_cast<size_t>(kKeysEach / 2));
        for (int k = 0; k < kKeysEach; ++k) {
            std::string section = (k % 2 == 0) ? "Shared" : "Writer" + std::to_string(w);
            EXPECT_EQ(ReadProfileValue(path_, section, "W" + std::to_string(w) + "K" + std::to_string(k)),
                      "v" + std::to_string(w * 1000 + k));
        }
    }
    EXPECT_TRUE(Strays().empty());
}

TEST_F(ProfileFileTest, FailedWriteLeavesOldFileAndNoTemporary) {
    EXPECT_FALSE(WriteProfileValue(dir_ + "/missing/Testbay.ini", "A", "b", "c"));
    EXPECT_FALSE(DeleteProfileSection(dir_ + "/missing/Testbay.ini", "A"));
    EXPECT_TRUE(std::filesystem::is_empty(dir_));

    // A write that fails half-way (here: the file size limit) leaves the old file whole.
    const std::string old = "[Testbay]\r\nComPort=3\r\n";
    Put(old);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool ok = WriteProfileValue(path_, "Testbay", "Big", std::string(100000, 'x'));
        _exit(ok ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the oversized write did not fail";
    EXPECT_EQ(Get(), old);
    EXPECT_TRUE(Strays().empty());

    if (geteuid() != 0) {  // root writes regardless of permissions
        ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
        EXPECT_FALSE(WriteProfileValue(path_, "Testbay", "ComPort", "4"));
        ASSERT_EQ(chmod(dir_.c_str(), 0700), 0);
        EXPECT_EQ(Get(), old);
        EXPECT_TRUE(Strays().empty());
    }
}

TEST_F(ProfileFileTest, ReplacementKeepsModeAndLinks) {
    Put("[Testbay]\r\nComPort=3\r\n");
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
    ASSERT_TRUE(WriteProfileValue(path_, "Testbay", "ComPort", "4"));
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A write through a symbolic link replaces the file it names, not the link.
    std::string link = dir_ + "/Link.ini";
    ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WriteProfileValue(link, "Testbay", "ComPort", "5"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadProfileValue(path_, "Testbay", "ComPort"), "5");
}

}  // namespace
}  // namespace testbay
