// The serial-device layer over a pseudo-terminal: no hardware needed. The
// master end plays the relay; SerialDevice opens the slave like a real port.
#include "platform/serial_device.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/device_holder.h"
#include "platform/line_settings.h"
#include "platform/pseudo_terminal.h"
#include "platform/termios2.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

int64_t NowMs(clockid_t clock = CLOCK_MONOTONIC) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

class SerialDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty_.Create()) << "posix_openpt: errno " << errno; }

    LineSettings MasterSees() {
        LineSettings seen{0, kParityNone, kStopOne};
        EXPECT_TRUE(ReadLineSettings(pty_.MasterFd(), seen));
        return seen;
    }

    PseudoTerminal pty_;
    SerialDevice device_;
};

TEST_F(SerialDeviceTest, SettingsReachTheMasterOnOpenAndApplyAndRefusalsChangeNothing) {
    ASSERT_EQ(device_.Open(pty_.SlavePath(), LineSettings{153600, kParityEven, kStopOne}), 0);
    EXPECT_EQ(MasterSees(), (LineSettings{153600, kParityEven, kStopOne}));
    for (uint32_t baud : {300u, 9600u, 153600u, 1000000u}) {
        for (int parity : {kParityNone, kParityOdd, kParityEven, kParityMark, kParitySpace}) {
            for (int stopBits : {kStopOne, kStopTwo}) {
                ASSERT_TRUE(device_.Apply({baud, parity, stopBits})) << baud << " " << parity << " " << stopBits;
                EXPECT_EQ(MasterSees(), (LineSettings{baud, parity, stopBits}));
            }
        }
    }
    // Back to no parity: the master must not keep seeing the previous one.
    const LineSettings original{4800, kParityNone, kStopOne};
    ASSERT_TRUE(device_.Apply(original));
    EXPECT_EQ(MasterSees(), original);

    // Refusals change nothing.
    EXPECT_FALSE(device_.Apply(LineSettings{9600, kParityNone, kStopOneAndHalf}));
    EXPECT_FALSE(device_.Apply(LineSettings{9600, 5, kStopOne}));
    EXPECT_FALSE(device_.Apply(LineSettings{0, kParityNone, kStopOne}));

    SerialDevice second;
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{19200, kParityOdd, kStopOne}), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(MasterSees(), original);  // neither the refused settings nor the failed open touched it
    // A closed device is never mistaken for an idle one.
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(second.WaitReadable(1000), SerialDevice::Wait::Failed);
    EXPECT_EQ(second.Read(buffer, sizeof buffer), -1);

    device_.Close();
    device_.Close();  // idempotent
    // An open with one and a half stop bits fails as a whole and leaves the port free.
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{9600, kParityOdd, kStopOneAndHalf}), EINVAL);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(MasterSees(), original);
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{19200, kParityOdd, kStopOne}), 0);
    EXPECT_EQ(MasterSees(), (LineSettings{19200, kParityOdd, kStopOne}));
    EXPECT_EQ(device_.Open(pty_.SlavePath(), LineSettings{}), EBUSY);
    EXPECT_NE(device_.Open("/dev/null", LineSettings{}), 0);  // no terminal
    EXPECT_FALSE(device_.IsOpen());
}

TEST_F(SerialDeviceTest, RawBytesPassUnchangedBothWays) {
    ASSERT_EQ(device_.Open(pty_.SlavePath(), LineSettings{1000000, kParityEven, kStopOne}), 0);
    // Line ends, flow-control and signal characters, then far more than the pty buffers hold.
    std::vector<uint8_t> bytes{0x00, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF, 0x03, 0x1A, 0x04, 0x1C};
    for (int i = 0; i < 20000; ++i) bytes.push_back(static_cast<uint8_t>(i * 7 + i / 256));

    // The relay takes in every byte, then sends them all back.
    std::thread relay([&] {
        const int fd = pty_.MasterFd();
        std::vector<uint8_t> got(bytes.size());
        size_t in = 0, out = 0;
        for (const int64_t deadline = NowMs() + 5000; out < got.size() && NowMs() < deadline;) {
            const bool reading = in < got.size();
            pollfd entry{fd, static_cast<short>(reading ? POLLIN : POLLOUT), 0};
            poll(&entry, 1, 100);
            const ssize_t n =
                reading ? read(fd, got.data() + in, got.size() - in) : write(fd, got.data() + out, got.size() - out);
            if (n > 0) (reading ? in : out) += static_cast<size_t>(n);
        }
        EXPECT_EQ(got, bytes);
        EXPECT_EQ(out, got.size());
    });
    EXPECT_TRUE(device_.Write(bytes.data(), bytes.size(), 5000));
    std::vector<uint8_t> back(bytes.size());
    size_t done = 0;
    for (const int64_t deadline = NowMs() + 5000; done < back.size() && NowMs() < deadline;) {
        const long n = device_.Read(back.data() + done, back.size() - done);
        if (n < 0) break;
        if (n == 0) device_.WaitReadable(100);
        done += static_cast<size_t>(n);
    }
    EXPECT_EQ(back, bytes);
    relay.join();
    // Nothing comes back either way (no echo).
    uint8_t extra;
    EXPECT_LT(read(pty_.MasterFd(), &extra, 1), 0);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(device_.Read(&extra, 1), 0);
}

// Another program may leave the port checking parity, with XON/XOFF or with
// break and line-end handling: opening it undoes all of that. On a
// pseudo-terminal the only input flag left is the parity mark.
TEST_F(SerialDeviceTest, OpenClearsEveryInputFlagAnotherProgramLeftBehind) {
    auto inputFlags = [this] {
        termios attributes{};
        EXPECT_EQ(tcgetattr(pty_.MasterFd(), &attributes), 0);  // the master reads the slave's
        return attributes.c_iflag;
    };
    auto leaveDirty = [this] {
        termios attributes{};
        ASSERT_EQ(tcgetattr(pty_.MasterFd(), &attributes), 0);
        attributes.c_iflag =
            IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXANY | IXOFF | IMAXBEL;
        ASSERT_EQ(tcsetattr(pty_.MasterFd(), TCSANOW, &attributes), 0);
    };
    leaveDirty();
    ASSERT_EQ(device_.Open(pty_.SlavePath(), LineSettings{38400, kParityNone, kStopOne}), 0);
    EXPECT_EQ(inputFlags(), 0u);
    device_.Close();
    leaveDirty();
    ASSERT_EQ(device_.Open(pty_.SlavePath(), LineSettings{38400, kParityEven, kStopOne}), 0);
    EXPECT_EQ(inputFlags(), static_cast<tcflag_t>(INPCK));
}

// Write returns once the bytes would have left a real line: start bit, 8 data
// bits, parity and stop bits each, at the current rate.
TEST_F(SerialDeviceTest, WriteTakesTheWireTimeOfItsBytesOnTheProcessClock) {
    VirtualClock clock;
    const ScopedClock scope(clock);
    const std::vector<uint8_t> bytes(96, 0x68);
    const std::pair<LineSettings, int64_t> cases[] = {
        {{9600, kParityNone, kStopOne}, 100000},
        {{9600, kParityEven, kStopOne}, 110000},
        {{9600, kParityMark, kStopTwo}, 120000},
        {{38400, kParityNone, kStopOne}, 25000},
    };
    ASSERT_EQ(device_.Open(pty_.SlavePath(), cases[0].first), 0);
    for (const auto& [settings, wireUs] : cases) {
        ASSERT_TRUE(device_.Apply(settings));
        const int64_t before = clock.NowUs();
        EXPECT_TRUE(device_.Write(bytes.data(), bytes.size(), 1000));
        EXPECT_EQ(clock.NowUs() - before, wireUs) << settings.baud << " " << settings.parity;
        uint8_t relaySide[128];
        EXPECT_EQ(read(pty_.MasterFd(), relaySide, sizeof relaySide), 96);
    }
}

TEST_F(SerialDeviceTest, WaitsSleepUntilTheirTimeOutAndEndWhenTheDeviceHasGone) {
    ASSERT_EQ(device_.Open(pty_.SlavePath(), LineSettings{}), 0);

    int64_t cpuBefore = NowMs(CLOCK_PROCESS_CPUTIME_ID);
    int64_t wallBefore = NowMs();
    EXPECT_EQ(device_.WaitReadable(400), SerialDevice::Wait::TimedOut);
    int64_t elapsed = NowMs() - wallBefore;
    EXPECT_GE(elapsed, 350);
    EXPECT_LT(elapsed, 4000);
    EXPECT_LT(NowMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore, 150) << "WaitReadable burnt CPU while waiting";

    // An idle line reads as nothing, never as a device that has gone.
    uint8_t buffer[8];
    for (int i = 0; i < 100; ++i) ASSERT_EQ(device_.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(device_.WaitReadable(0), SerialDevice::Wait::TimedOut);

    // Far more than the pty buffers hold, and the master never reads.
    std::vector<uint8_t> bytes(4 * 1024 * 1024, 0x5A);
    cpuBefore = NowMs(CLOCK_PROCESS_CPUTIME_ID);
    wallBefore = NowMs();
    EXPECT_FALSE(device_.Write(bytes.data(), bytes.size(), 300));
    elapsed = NowMs() - wallBefore;
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 4000);
    EXPECT_LT(NowMs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore, 200) << "Write burnt CPU while waiting for room";
    EXPECT_TRUE(device_.IsOpen());

    // A closed pseudo-terminal means the device has gone.
    std::thread relay([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        pty_.Close();
    });
    wallBefore = NowMs();
    EXPECT_EQ(device_.WaitReadable(10000), SerialDevice::Wait::Failed);  // gone while waiting
    EXPECT_LT(NowMs() - wallBefore, 5000);
    relay.join();

    wallBefore = NowMs();
    EXPECT_EQ(device_.WaitReadable(10000), SerialDevice::Wait::Failed);  // already gone
    EXPECT_EQ(device_.Read(buffer, sizeof buffer), -1);
    const uint8_t byte = 0x42;
    EXPECT_FALSE(device_.Write(&byte, 1, 1000));
    EXPECT_LT(NowMs() - wallBefore, 2000);
    EXPECT_EQ(device_.QueuedInput(), 0u);
    device_.Close();
    EXPECT_FALSE(device_.IsOpen());
}

TEST_F(SerialDeviceTest, AFailedOpenSaysWhyAndWhoHoldsTheDevice) {
    EXPECT_EQ(device_.Open("/dev/testbay-nonexistent", LineSettings{}), ENOENT);
    EXPECT_EQ(device_.OpenFailure().systemText, "No such file or directory");
    EXPECT_TRUE(device_.OpenFailure().holders.empty());

    EXPECT_EQ(device_.Open("/dev/null", LineSettings{}), ENOTTY);
    EXPECT_EQ(device_.OpenFailure().hint, "it is no serial device");

    // The holder is found by its lock: here this very process.
    ASSERT_EQ(device_.Open(pty_.SlavePath(), LineSettings{}), 0);
    SerialDevice second;
    ASSERT_EQ(second.Open(pty_.SlavePath(), LineSettings{}), EBUSY);
    EXPECT_EQ(second.OpenFailure().systemText, "Device or resource busy");
    ASSERT_EQ(second.OpenFailure().holders.size(), 1u);
    const DeviceHolder& holder = second.OpenFailure().holders[0];
    EXPECT_EQ(holder.pid, static_cast<long>(getpid()));
    EXPECT_TRUE(holder.thisProcess);
    EXPECT_FALSE(holder.program.empty());
    // A successful open leaves the last reason as it was.
    device_.Close();
    ASSERT_EQ(second.Open(pty_.SlavePath(), LineSettings{}), 0);
    EXPECT_EQ(second.OpenFailure().error, EBUSY);
}

// A process table of the test's own making: its device is a plain file.
class DeviceHolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteWholeFile(device_, "");
        struct stat status {};
        ASSERT_EQ(stat(device_.c_str(), &status), 0);
        char file[64];
        std::snprintf(file, sizeof file, "%02x:%02x:%llu", major(status.st_dev), minor(status.st_dev),
                      static_cast<unsigned long long>(status.st_ino));
        file_ = file;
    }
    void Process(long pid, const std::string& comm, const std::string& cmdline, const std::string& fdTarget) {
        const std::string directory = proc_.Path() + std::to_string(pid) + "/";
        std::filesystem::create_directories(directory + "fd");
        test::WriteWholeFile(directory + "comm", comm + "\n");
        test::WriteWholeFile(directory + "cmdline", cmdline);
        std::filesystem::create_symlink(fdTarget, directory + "fd/3");
    }

    test::TempDir proc_, files_;
    const std::string device_ = files_.File("ttyUSB0");
    std::string file_;
};

TEST_F(DeviceHolderTest, TheLockHolderComesFirstElseTheProcessesWithTheDeviceOpen) {
    Process(4711, "minicom", std::string("minicom\0-D\0/dev/ttyUSB0\0", 24), device_);
    Process(4712, "testbay", std::string("testbay\0-Automation\0", 20), device_);
    Process(4713, "bash", std::string("bash\0", 5), files_.Path());
    // Without locks, every process with a descriptor of the device.
    std::vector<DeviceHolder> holders = FindDeviceHolders(device_, proc_.Path());
    ASSERT_EQ(holders.size(), 2u);
    std::sort(holders.begin(), holders.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    EXPECT_EQ(holders[0].program, "minicom");
    EXPECT_EQ(holders[0].arguments, (std::vector<std::string>{"-D", "/dev/ttyUSB0"}));
    EXPECT_EQ(holders[1].program, "testbay");
    EXPECT_FALSE(holders[1].thisProcess);

    // A lock names its holder alone; a waiter for it and other files' locks do not count.
    test::WriteWholeFile(proc_.File("locks"),
                         "1: POSIX  ADVISORY  WRITE 99 00:00:1 0 EOF\n"
                         "2: FLOCK  ADVISORY  WRITE 4712 " +
                             file_ +
                             " 0 EOF\n"
                             "2: -> FLOCK  ADVISORY  WRITE 4711 " +
                             file_ + " 0 EOF\n");
    holders = FindDeviceHolders(device_, proc_.Path());
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].pid, 4712);
    EXPECT_EQ(holders[0].arguments, std::vector<std::string>{"-Automation"});

    EXPECT_TRUE(FindDeviceHolders(files_.File("gone"), proc_.Path()).empty());
}

TEST(AccessHintTest, NamesTheGroupTheUserLacksOrTheLoginTheUserOwes) {
    EXPECT_EQ(AccessHintText({"dialout", "anna", false, false, true}),
              "the device belongs to group dialout, which user anna is not in (add it with: sudo usermod -aG "
              "dialout anna, then log in again)");
    EXPECT_EQ(AccessHintText({"dialout", "anna", false, true, true}),
              "user anna was added to group dialout after this session began: log in again");
    EXPECT_EQ(AccessHintText({"dialout", "anna", true, true, false}),
              "group dialout may not read and write the device");
    EXPECT_EQ(AccessHintText({"dialout", "anna", true, true, true}), "");
    EXPECT_EQ(AccessHintText({}), "");
}

}  // namespace
}  // namespace testbay
