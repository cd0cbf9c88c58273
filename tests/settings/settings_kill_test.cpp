#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>

#include "settings/directories.h"
#include "settings/settings.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::ScopedEnv;
using test::TempDir;

constexpr int kKeys = 12;
constexpr int kRounds = 40;

std::string Key(int index) { return "Key" + std::to_string(index); }

// Writes every key with `value`, over and over, in both settings files.
[[noreturn]] void WriteForever(int value) {
    const std::string text = std::to_string(value);
    for (;;) {
        for (int index = 0; index < kKeys; ++index) {
            WriteIniInt("Testbay", Key(index).c_str(), value, "Testbay.ini");
            WriteWindowsIniString("WSTEST", Key(index).c_str(), text.c_str(), "TESTBAY.INI");
        }
    }
}

TEST(SettingsIntegrity, KilledWritersLeaveEveryKeyWithItsOldOrNewValue) {
    TempDir config, windows;
    ScopedEnv windowsEnv("TESTBAY_WINDOWS_DIR", windows.Path());
    SetConfigDirectory(config.Path());
    for (int index = 0; index < kKeys; ++index) {
        ASSERT_NE(WriteIniInt("Testbay", Key(index).c_str(), 0, "Testbay.ini"), 0);
        ASSERT_NE(WriteWindowsIniString("WSTEST", Key(index).c_str(), "0", "TESTBAY.INI"), 0);
    }
    std::mt19937 random(20261206);
    std::vector<int> last(kKeys, 0), lastShared(kKeys, 0);
    int roundsThatWrote = 0;
    for (int round = 1; round <= kRounds; ++round) {
        // Two instances at once, killed at a moment of their writing.
        pid_t writers[2];
        for (pid_t& writer : writers) {
            writer = fork();
            ASSERT_GE(writer, 0);
            if (writer == 0) WriteForever(round);
        }
        usleep(5000 + random() % 40000);
        for (const pid_t writer : writers) kill(writer, SIGKILL);
        for (const pid_t writer : writers) waitpid(writer, nullptr, 0);

        for (int index = 0; index < kKeys; ++index) {
            const int value = ReadIniInt("Testbay", Key(index).c_str(), -1, "Testbay.ini");
            char text[16];
            ReadWindowsIniString("WSTEST", Key(index).c_str(), "-1", text, sizeof(text), "TESTBAY.INI");
            const int shared = std::stoi(text);
            ASSERT_TRUE(value == last[index] || value == round) << "round " << round << " key " << index;
            ASSERT_TRUE(shared == lastShared[index] || shared == round) << "round " << round << " key " << index;
            if (index == 0 && value == round) ++roundsThatWrote;
            last[index] = value;
            lastShared[index] = shared;
        }
        ASSERT_EQ(ReadIniSection("Testbay", "Testbay.ini").size(), static_cast<size_t>(kKeys));
    }
    // The kills must have hit writers at work, not before they began.
    EXPECT_GT(roundsThatWrote, kRounds / 2);
}

}  // namespace
}  // namespace testbay
