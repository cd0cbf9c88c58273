// The Windows platform layer against the system itself (run under Wine).
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <filesystem>
#include <thread>
#include <vector>

#include "settings/directories.h"
#include "app/testbay_app.h"
#include "platform/folders.h"
#include "platform/profile_file.h"
#include "platform/serial_device.h"
#include "platform/serial_device_list.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

namespace fs = std::filesystem;

std::wstring RegistryString(HKEY root, const wchar_t* key, const wchar_t* value) {
    wchar_t data[256] = {};
    DWORD size = sizeof(data) - sizeof(wchar_t);
    if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return L"";
    return data;
}

TEST(WindowsFolders, SystemFoldersAndTheConfigurationPathBelowTheCommonDataFolder) {
    EXPECT_EQ(TemporaryFolder().back(), '\\');
    EXPECT_TRUE(fs::is_directory(TemporaryFolder()));
    wchar_t windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    EXPECT_EQ(fs::path(WindowsFolder()), fs::path(windows) / "");
    ASSERT_FALSE(CommonDataFolder().empty());
    ASSERT_FALSE(UserConfigFolder().empty());

    test::ScopedEnv noOverride("TESTBAY_CONFIG_DIR", std::nullopt);
    const std::string chosen = ChooseConfigDirectory();
    EXPECT_EQ(chosen, CommonDataFolder() + "Altheon\\Corvexan\\Firmware\\");
    EXPECT_TRUE(fs::is_directory(chosen));
}

TEST(WindowsFolders, PathsAreCreatedFromADriveOrAServerOnlyAndNamesMatchInAnyCase) {
    test::TempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(dir.File("one\\two/three")));
    EXPECT_TRUE(fs::is_directory(dir.File("one/two/three")));
    EXPECT_FALSE(CreateDirectoryPath("relative\\path"));
    EXPECT_FALSE(CreateDirectoryPath("\\\\"));
    EXPECT_TRUE(HasDirectory("C:LOG.TXT"));
    EXPECT_TRUE(HasDirectory("logs\\LOG.TXT"));
    EXPECT_FALSE(HasDirectory("LOG.TXT"));

    test::WriteWholeFile(dir.File("Testbay.ini"), "[A]\r\nb=1\r\n");
    EXPECT_EQ(ReadProfileValue(dir.File("TESTBAY.INI"), "a", "B"), "1");
}

TEST(WindowsPorts, ComNamesReachTheSystemsPortsAndTheListComesFromSerialcomm) {
    EXPECT_EQ(DefaultComDevice(5), "\\\\.\\COM5");
    EXPECT_EQ(DefaultComNumber("\\\\.\\COM12"), 12);
    EXPECT_EQ(DefaultComNumber("\\\\.\\com3"), 3);
    EXPECT_EQ(DefaultComNumber("COM3"), 0);
    EXPECT_EQ(DefaultComNumber("\\\\.\\COM"), 0);
    EXPECT_EQ(DefaultComNumber("\\\\.\\COM1x"), 0);

    const wchar_t* serialcomm = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, serialcomm, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring port = L"COM42";
    const std::wstring empty;
    RegSetValueExW(key, L"\\Device\\TestbayTest", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                   static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
    RegSetValueExW(key, L"\\Device\\TestbayEmpty", 0, REG_SZ, reinterpret_cast<const BYTE*>(empty.c_str()),
                   sizeof(wchar_t));
    const std::vector<std::string> devices = PresentSerialDevices();
    RegDeleteValueW(key, L"\\Device\\TestbayTest");
    RegDeleteValueW(key, L"\\Device\\TestbayEmpty");
    RegCloseKey(key);
    EXPECT_NE(std::find(devices.begin(), devices.end(), "\\\\.\\COM42"), devices.end());
    EXPECT_EQ(std::find(devices.begin(), devices.end(), "\\\\.\\"), devices.end());
    EXPECT_TRUE(std::is_sorted(devices.begin(), devices.end()));
}

TEST(WindowsPorts, AMissingPortFailsToOpenAndLeavesTheDeviceClosed) {
    SerialDevice device;
    EXPECT_EQ(device.Open(DefaultComDevice(249), LineSettings{}), ENOENT);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.Write(reinterpret_cast<const uint8_t*>("x"), 1, 100));
    EXPECT_EQ(device.WaitReadable(10), SerialDevice::Wait::Failed);
    EXPECT_EQ(device.Open(DefaultComDevice(249), LineSettings{9600, kParityNone, kStopOneAndHalf}), EINVAL);
}

// Starts a program of the host system, as Wine does for a path of the host;
// it runs on its own, unseen by waits.
bool StartOnHost(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// COM<n> of this Wine prefix linked to the pseudo-terminal multiplexer: each
// open gets a terminal of its own and works as a real port does.
class ScopedTerminalPort {
public:
    explicit ScopedTerminalPort(int number) : device_(L"\\\\.\\COM" + std::to_wstring(number)) {
        wchar_t prefix[MAX_PATH] = {};
        if (GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) == 0) return;
        link_ = std::wstring(prefix) + L"/dosdevices/com" + std::to_wstring(number);
        linked_ = StartOnHost(L"/bin/ln -sfn /dev/ptmx \"" + link_ + L"\"") && AwaitPort(true);
    }
    ~ScopedTerminalPort() {
        if (linked_ && StartOnHost(L"/bin/rm -f \"" + link_ + L"\"")) AwaitPort(false);
    }
    bool Linked() const { return linked_; }

private:
    bool Opens() const {
        HANDLE port = CreateFileW(device_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE) return false;
        CloseHandle(port);
        return true;
    }
    // Generous: a loaded machine, not a timing requirement.
    bool AwaitPort(bool present) const {
        for (int tries = 0; tries < 1000; ++tries) {
            if (Opens() == present) return true;
            Sleep(10);
        }
        return false;
    }

    std::wstring device_;
    std::wstring link_;
    bool linked_ = false;
};

TEST(WindowsPorts, AnOpenPortKeepsEveryNameOfItAwayUntilItIsClosed) {
    const ScopedTerminalPort port(200);
    ASSERT_TRUE(port.Linked());
    SerialDevice first;
    ASSERT_EQ(first.Open("\\\\.\\COM200", LineSettings{}), 0);
    // The bare name, other cases and the forms a [Ports] entry may hold.
    for (const char* name : {"COM200", "\\\\.\\com200", "\\\\?\\COM200", "\\\\?\\Com200"}) {
        SerialDevice second;
        EXPECT_EQ(second.Open(name, LineSettings{}), EBUSY) << name;
        EXPECT_FALSE(second.IsOpen());
    }
    first.Close();
    SerialDevice again;
    EXPECT_EQ(again.Open("\\\\?\\COM200", LineSettings{}), 0);
}

TEST(WindowsRegistry, WriteAccessTestLeavesItsTokenBelowTheMachineKey) {
    // Wine's prefix belongs to the user running it, so the machine key is writable.
    ASSERT_EQ(TestRegistryWriteAccess("Testbay", "TestWriteAccess", "TestToken"), 1);
    EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, L"Software\\Altheon\\CorvexanTestbay\\TestWriteAccess", nullptr),
              L"TestToken");
}

class WindowsProfileFile : public ::testing::Test {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.File("Testbay.ini");
    std::vector<std::string> Strays() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.Path())) {
            const std::string name = entry.path().filename().string();
            if (name != "Testbay.ini" && name != "Testbay.ini.lock") names.push_back(name);
        }
        return names;
    }
};

// Every writer opens the lock file on its own handle, as another process would.
TEST_F(WindowsProfileFile, WritersAtOnceLoseNothing) {
    constexpr int kWriters = 6;
    constexpr int kKeysEach = 30;
    test::WriteWholeFile(path_, "[Testbay]\r\nComPort=1\r\n");
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int k = 0; k < kKeysEach; ++k) {
                const std::string key = "W" + std::to_string(w) + "K" + std::to_string(k);
                if (!WriteProfileValue(path_, k % 2 ? "Shared" : "Own" + std::to_string(w), key, std::to_string(k))) {
                    ++failures[static_cast<size_t>(w)];
                }
            }
        });
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(failures, std::vector<int>(kWriters, 0));
    EXPECT_EQ(ReadProfileValue(path_, "Testbay", "ComPort"), "1");
    EXPECT_EQ(ReadProfileSection(path_, "Shared").size(), static_cast<size_t>(kWriters * kKeysEach / 2));
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(ReadProfileSection(path_, "Own" + std::to_string(w)).size(), static_cast<size_t>(kKeysEach / 2));
    }
    EXPECT_TRUE(Strays().empty());
}

TEST_F(WindowsProfileFile, AFileAnotherProgramHoldsStaysAsItWasAndTheWriteFails) {
    const std::string old = "[Testbay]\r\nComPort=3\r\n";
    test::WriteWholeFile(path_, old);
    // Like an editor that opened the file without letting others replace it.
    HANDLE held = CreateFileW(fs::path(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteProfileValue(path_, "Testbay", "ComPort", "4"));
    CloseHandle(held);
    EXPECT_EQ(test::ReadWholeFile(path_), old);
    EXPECT_TRUE(Strays().empty());
    EXPECT_TRUE(WriteProfileValue(path_, "Testbay", "ComPort", "4"));
    EXPECT_EQ(ReadProfileValue(path_, "Testbay", "ComPort"), "4");

    EXPECT_FALSE(WriteProfileValue(dir_.File("missing\\Testbay.ini"), "A", "b", "c"));
}

}  // namespace
}  // namespace testbay
