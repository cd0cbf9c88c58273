// The serial-device layer over a pseudo-terminal: no hardware needed. The
// master end plays the relay; SerialDevice opens the slave like a real port.
#include "platform/serial_device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/line_settings.h"
#include "platform/pseudo_terminal.h"
#include "platform/termios2.h"

namespace testbay {
namespace {

int64_t NowMs(clockid_t clock = CLOCK_MONOTONIC) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
int64_t CpuMs() {
    return NowMs(CLOCK_PROCESS_CPUTIME_ID);
}

// Calls `step` (bytes moved, 0 for none yet, -1 on error) until `count` bytes
// have moved, sleeping in `wait(msLeft)` in between; five seconds at most.
template <typename Step, typename WaitFor>
size_t Pump(size_t count, Step step, WaitFor wait) {
    size_t done = 0;
    const int64_t deadline = NowMs() + 5000;
    while (done < count) {
        long n = step(done);
        if (n < 0) break;
        done += static_cast<size_t>(n);
        int64_t left = deadline - NowMs();
        if (n == 0 && (left <= 0 || !wait(static_cast<int>(left)))) break;
    }
    return done;
}

// The master is non-blocking: EAGAIN means "wait in poll()".
long MasterStep(ssize_t n) {
    return n >= 0 ? n : (errno == EAGAIN || errno == EINTR ? 0 : -1);
}
bool PollMaster(int fd, short events, int ms) {
    pollfd entry{fd, events, 0};
    return poll(&entry, 1, ms) > 0;
}

bool WriteMaster(int fd, const std::vector<uint8_t>& bytes) {
    auto step = [&](size_t done) { return MasterStep(write(fd, bytes.data() + done, bytes.size() - done)); };
    return Pump(bytes.size(), step, [&](int ms) { return PollMaster(fd, POLLOUT, ms); }) == bytes.size();
}

std::vector<uint8_t> ReadMaster(int fd, size_t count) {
    std::vector<uint8_t> bytes(count);
    auto step = [&](size_t done) { return MasterStep(read(fd, bytes.data() + done, count - done)); };
    bytes.resize(Pump(count, step, [&](int ms) { return PollMaster(fd, POLLIN, ms); }));
    return bytes;
}

std::vector<uint8_t> ReadDevice(SerialDevice& device, size_t count) {
    std::vector<uint8_t> bytes(count);
    auto step = [&](size_t done) { return device.Read(bytes.data() + done, count - done); };
    bytes.resize(Pump(count, step, [&](int ms) { return device.WaitReadable(ms) == SerialDevice::Wait::Readable; }));
    return bytes;
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
};

TEST_F(SerialDeviceTest, SettingsReachTheMasterOnOpenAndApply) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{153600, kParityEven, kStopOne}), 0);
    EXPECT_EQ(device.Path(), pty_.SlavePath());
    EXPECT_EQ(MasterSees(), (LineSettings{153600, kParityEven, kStopOne}));
    for (uint32_t baud : {300u, 9600u, 153600u, 1000000u}) {
        for (int parity : {kParityNone, kParityOdd, kParityEven, kParityMark, kParitySpace}) {
            for (int stopBits : {kStopOne, kStopTwo}) {
                const LineSettings settings{baud, parity, stopBits};
                SCOPED_TRACE(::testing::Message() << baud << " parity " << parity << " stop " << stopBits);
                ASSERT_TRUE(device.Apply(settings));
                EXPECT_EQ(MasterSees(), settings);
            }
        }
    }
    // Back to no parity: the master must not keep seeing the previous one.
    ASSERT_TRUE(device.Apply(LineSettings{4800, kParityNone, kStopOne}));
    EXPECT_EQ(MasterSees(), (LineSettings{4800, kParityNone, kStopOne}));
}

TEST_F(SerialDeviceTest, RefusalsChangeNothing) {
    const LineSettings original{153600, kParityEven, kStopTwo};
    SerialDevice first;
    ASSERT_EQ(first.Open(pty_.SlavePath(), original), 0);
    EXPECT_FALSE(first.Apply(LineSettings{9600, kParityNone, kStopOneAndHalf}));
    EXPECT_FALSE(first.Apply(LineSettings{9600, 5, kStopOne}));
    EXPECT_FALSE(first.Apply(LineSettings{0, kParityNone, kStopOne}));

    SerialDevice second;
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{19200, kParityOdd, kStopOne}), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(MasterSees(), original);  // neither the refused settings nor the failed open touched it
    // A closed device is never mistaken for an idle one.
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(second.WaitReadable(1000), SerialDevice::Wait::Failed);
    EXPECT_EQ(second.Read(buffer, sizeof buffer), -1);

    first.Close();
    first.Close();  // idempotent
    // An open with one and a half stop bits fails as a whole and leaves the port free.
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{9600, kParityOdd, kStopOneAndHalf}), EINVAL);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(MasterSees(), original);
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{19200, kParityOdd, kStopOne}), 0);
    EXPECT_EQ(MasterSees(), (LineSettings{19200, kParityOdd, kStopOne}));
    EXPECT_EQ(first.Open(pty_.SlavePath(), LineSettings{}), EBUSY);
    EXPECT_NE(first.Open("/dev/null", LineSettings{}), 0);  // no terminal
    EXPECT_FALSE(first.IsOpen());
}

TEST_F(SerialDeviceTest, RawBytesPassUnchangedBothWays) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{115200, kParityEven, kStopOne}), 0);
    // Line ends, flow-control and signal characters, then far more than the pty buffers hold.
    std::vector<uint8_t> bytes{0x00, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF, 0x03, 0x1A, 0x04, 0x1C};
    for (int i = 0; i < 20000; ++i) bytes.push_back(static_cast<uint8_t>(i * 7 + i / 256));

    std::thread relay([&] {
        std::vector<uint8_t> got = ReadMaster(pty_.MasterFd(), bytes.size());
        EXPECT_EQ(got, bytes);
        EXPECT_TRUE(WriteMaster(pty_.MasterFd(), got));
    });
    EXPECT_TRUE(device.Write(bytes.data(), bytes.size(), 5000));
    EXPECT_EQ(ReadDevice(device, bytes.size()), bytes);
    relay.join();
    // Nothing comes back either way (no echo).
    uint8_t extra;
    EXPECT_LT(read(pty_.MasterFd(), &extra, 1), 0);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(device.Read(&extra, 1), 0);
}

TEST_F(SerialDeviceTest, WaitsSleepUntilTheirTimeOut) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);

    int64_t cpuBefore = CpuMs();
    int64_t wallBefore = NowMs();
    EXPECT_EQ(device.WaitReadable(400), SerialDevice::Wait::TimedOut);
    int64_t elapsed = NowMs() - wallBefore;
    EXPECT_GE(elapsed, 350);
    EXPECT_LT(elapsed, 4000);
    EXPECT_LT(CpuMs() - cpuBefore, 150) << "WaitReadable burnt CPU while waiting";

    // An idle line reads as nothing, never as a device that has gone.
    uint8_t buffer[8];
    for (int i = 0; i < 100; ++i) ASSERT_EQ(device.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(device.WaitReadable(0), SerialDevice::Wait::TimedOut);

    // Far more than the pty buffers hold, and the master never reads.
    std::vector<uint8_t> bytes(4 * 1024 * 1024, 0x5A);
    cpuBefore = CpuMs();
    wallBefore = NowMs();
    EXPECT_FALSE(device.Write(bytes.data(), bytes.size(), 300));
    elapsed = NowMs() - wallBefore;
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 4000);
    EXPECT_LT(CpuMs() - cpuBefore, 200) << "Write burnt CPU while waiting for room";
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(SerialDeviceTest, ClosedPseudoTerminalMeansDeviceGone) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    std::thread relay([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        pty_.Close();
    });
    int64_t wallBefore = NowMs();
    EXPECT_EQ(device.WaitReadable(10000), SerialDevice::Wait::Failed);  // gone while waiting
    EXPECT_LT(NowMs() - wallBefore, 5000);
    relay.join();

    wallBefore = NowMs();
    EXPECT_EQ(device.WaitReadable(10000), SerialDevice::Wait::Failed);  // already gone
    uint8_t buffer[8];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
    const uint8_t byte = 0x42;
    EXPECT_FALSE(device.Write(&byte, 1, 1000));
    EXPECT_LT(NowMs() - wallBefore, 2000);
    EXPECT_EQ(device.QueuedInput(), 0u);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
}

TEST(Termios2Test, ReadLineSettingsRefusesNonTerminals) {
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    LineSettings settings{1234, kParityOdd, kStopTwo};
    EXPECT_FALSE(ReadLineSettings(pipeFds[0], settings));
    EXPECT_EQ(settings, (LineSettings{1234, kParityOdd, kStopTwo}));  // untouched
    EXPECT_FALSE(ApplyLineSettings(pipeFds[0], LineSettings{}));
    close(pipeFds[0]);
    close(pipeFds[1]);
}

}  // namespace
}  // namespace testbay
