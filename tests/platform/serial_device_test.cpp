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

int64_t WallMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t CpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Writes everything to the (non-blocking) master, waiting in poll() for room.
bool WriteMaster(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    const int64_t deadline = WallMs() + 5000;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd entry{fd, POLLOUT, 0};
        int64_t left = deadline - WallMs();
        if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
    }
    return true;
}

// Reads `count` bytes from the master within five seconds.
std::vector<uint8_t> ReadMaster(int fd, size_t count) {
    std::vector<uint8_t> bytes;
    const int64_t deadline = WallMs() + 5000;
    while (bytes.size() < count) {
        uint8_t chunk[4096];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        pollfd entry{fd, POLLIN, 0};
        int64_t left = deadline - WallMs();
        if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0) break;
    }
    return bytes;
}

// Reads `count` bytes from the device with WaitReadable/Read within five seconds.
std::vector<uint8_t> ReadDevice(SerialDevice& device, size_t count) {
    std::vector<uint8_t> bytes;
    const int64_t deadline = WallMs() + 5000;
    while (bytes.size() < count) {
        uint8_t chunk[4096];
        long n = device.Read(chunk, sizeof chunk);
        if (n < 0) break;
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
            continue;
        }
        int64_t left = deadline - WallMs();
        if (left <= 0 || device.WaitReadable(static_cast<int>(left)) != SerialDevice::Wait::Readable) break;
    }
    return bytes;
}

std::vector<uint8_t> SpecialBytes() { return {0x00, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF, 0x03, 0x1A, 0x04, 0x1C}; }

std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> bytes = SpecialBytes();
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

class SerialDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty_.Create()) << "posix_openpt: errno " << errno; }

    LineSettings MasterSees() {
        LineSettings seen;
        seen.baud = 0;
        EXPECT_TRUE(ReadLineSettings(pty_.MasterFd(), seen));
        return seen;
    }

    PseudoTerminal pty_;
};

TEST_F(SerialDeviceTest, CreateGivesAnOpenPair) {
    EXPECT_GE(pty_.MasterFd(), 0);
    EXPECT_EQ(pty_.SlavePath().rfind("/dev/pts/", 0), 0u) << pty_.SlavePath();
    EXPECT_NE(fcntl(pty_.MasterFd(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(pty_.MasterFd(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(SerialDeviceTest, OpenAppliesSettingsSeenByMaster) {
    const LineSettings cases[] = {
        {9600, kParityNone, kStopOne},    {153600, kParityEven, kStopOne}, {250000, kParityOdd, kStopTwo},
        {115200, kParityMark, kStopOne},  {19200, kParitySpace, kStopTwo}, {1200, kParityEven, kStopTwo},
        {38400, kParityNone, kStopTwo},   {31250, kParityMark, kStopTwo},  {921600, kParitySpace, kStopOne},
    };
    for (const LineSettings& settings : cases) {
        SCOPED_TRACE(::testing::Message() << settings.baud << " parity " << settings.parity << " stop "
                                          << settings.stopBits);
        SerialDevice device;
        ASSERT_EQ(device.Open(pty_.SlavePath(), settings), 0);
        EXPECT_TRUE(device.IsOpen());
        EXPECT_EQ(device.Path(), pty_.SlavePath());
        EXPECT_EQ(MasterSees(), settings);
        device.Close();
        EXPECT_FALSE(device.IsOpen());
    }
}

TEST_F(SerialDeviceTest, ApplyEveryParityAndStopBitsAtAnyRate) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    EXPECT_EQ(MasterSees(), LineSettings{});
    for (uint32_t baud : {300u, 9600u, 57600u, 153600u, 250000u, 1000000u}) {
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

TEST_F(SerialDeviceTest, OneAndAHalfStopBitsRefusedAndSettingsKept) {
    const LineSettings original{153600, kParityEven, kStopTwo};
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), original), 0);

    EXPECT_FALSE(device.Apply(LineSettings{9600, kParityNone, kStopOneAndHalf}));
    EXPECT_EQ(MasterSees(), original);
    EXPECT_FALSE(device.Apply(LineSettings{9600, kParityNone, 7}));
    EXPECT_FALSE(device.Apply(LineSettings{9600, 5, kStopOne}));
    EXPECT_FALSE(device.Apply(LineSettings{0, kParityNone, kStopOne}));
    EXPECT_EQ(MasterSees(), original);
    EXPECT_TRUE(device.IsOpen());

    // An open with one and a half stop bits fails as a whole.
    device.Close();
    SerialDevice refused;
    EXPECT_EQ(refused.Open(pty_.SlavePath(), LineSettings{9600, kParityOdd, kStopOneAndHalf}), EINVAL);
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(MasterSees(), original);
    // ... and leaves the port free for the next one.
    EXPECT_EQ(refused.Open(pty_.SlavePath(), LineSettings{}), 0);
}

TEST_F(SerialDeviceTest, SecondOpenIsBusyUntilTheFirstCloses) {
    SerialDevice first;
    ASSERT_EQ(first.Open(pty_.SlavePath(), LineSettings{}), 0);

    SerialDevice second;
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{19200, kParityOdd, kStopOne}), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(MasterSees(), LineSettings{});  // the failed open touched nothing
    EXPECT_TRUE(first.IsOpen());

    first.Close();
    first.Close();  // idempotent
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(second.Open(pty_.SlavePath(), LineSettings{19200, kParityOdd, kStopOne}), 0);
    EXPECT_EQ(MasterSees(), (LineSettings{19200, kParityOdd, kStopOne}));
    EXPECT_EQ(first.Open(pty_.SlavePath(), LineSettings{}), EBUSY);
}

TEST_F(SerialDeviceTest, OpenMissingPathFailsWithEnoent) {
    SerialDevice device;
    EXPECT_EQ(device.Open("/dev/testbay-no-such-device", LineSettings{}), ENOENT);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(SerialDeviceTest, OpenSomethingThatIsNoTerminalFails) {
    SerialDevice device;
    int error = device.Open("/dev/null", LineSettings{});
    EXPECT_NE(error, 0);
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(SerialDeviceTest, BytesPassUnchangedFromMasterToDevice) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{115200, kParityEven, kStopOne}), 0);
    const std::vector<uint8_t> bytes = AllByteValues();
    ASSERT_TRUE(WriteMaster(pty_.MasterFd(), bytes));
    EXPECT_EQ(ReadDevice(device, bytes.size()), bytes);
    EXPECT_EQ(device.QueuedInput(), 0u);
    // Nothing comes back to the master (no echo).
    uint8_t extra;
    EXPECT_LT(read(pty_.MasterFd(), &extra, 1), 0);
    EXPECT_EQ(errno, EAGAIN);
}

TEST_F(SerialDeviceTest, BytesPassUnchangedFromDeviceToMaster) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{9600, kParityNone, kStopOne}), 0);
    const std::vector<uint8_t> bytes = AllByteValues();
    ASSERT_TRUE(device.Write(bytes.data(), bytes.size(), 2000));
    EXPECT_EQ(ReadMaster(pty_.MasterFd(), bytes.size()), bytes);
    // Nothing comes back to the device either.
    uint8_t extra;
    EXPECT_EQ(device.Read(&extra, 1), 0);
}

TEST_F(SerialDeviceTest, LargeTransfersBothWays) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    std::vector<uint8_t> bytes(20000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);

    std::thread relay([&] {
        std::vector<uint8_t> got = ReadMaster(pty_.MasterFd(), bytes.size());
        EXPECT_EQ(got, bytes);
        EXPECT_TRUE(WriteMaster(pty_.MasterFd(), got));
    });
    EXPECT_TRUE(device.Write(bytes.data(), bytes.size(), 5000));
    EXPECT_EQ(ReadDevice(device, bytes.size()), bytes);
    relay.join();
}

TEST_F(SerialDeviceTest, QueuedInputAndFlush) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    EXPECT_EQ(device.QueuedInput(), 0u);
    const std::vector<uint8_t> bytes = SpecialBytes();
    ASSERT_TRUE(WriteMaster(pty_.MasterFd(), bytes));
    ASSERT_EQ(device.WaitReadable(2000), SerialDevice::Wait::Readable);
    // The pty moves bytes over in a work item: give it a moment to finish.
    const int64_t deadline = WallMs() + 2000;
    while (device.QueuedInput() < bytes.size() && WallMs() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(device.QueuedInput(), bytes.size());

    device.Flush();
    EXPECT_EQ(device.QueuedInput(), 0u);
    uint8_t buffer[16];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(device.WaitReadable(50), SerialDevice::Wait::TimedOut);
}

TEST_F(SerialDeviceTest, WaitReadableTimesOutOnAnIdleLineWithoutSpinning) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);

    const int64_t cpuBefore = CpuMs();
    const int64_t wallBefore = WallMs();
    EXPECT_EQ(device.WaitReadable(400), SerialDevice::Wait::TimedOut);
    const int64_t elapsed = WallMs() - wallBefore;
    const int64_t cpu = CpuMs() - cpuBefore;
    EXPECT_GE(elapsed, 350);
    EXPECT_LT(elapsed, 4000);
    EXPECT_LT(cpu, 150) << "WaitReadable burnt CPU while waiting";

    // An idle line reads as nothing, never as a device that has gone.
    uint8_t buffer[8];
    for (int i = 0; i < 100; ++i) ASSERT_EQ(device.Read(buffer, sizeof buffer), 0);
    EXPECT_EQ(device.WaitReadable(0), SerialDevice::Wait::TimedOut);
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(SerialDeviceTest, WaitReadableReturnsWhenBytesArrive) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);

    std::thread relay([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_TRUE(WriteMaster(pty_.MasterFd(), {0x55, 0xAA}));
    });
    const int64_t cpuBefore = CpuMs();
    const int64_t wallBefore = WallMs();
    EXPECT_EQ(device.WaitReadable(10000), SerialDevice::Wait::Readable);
    const int64_t elapsed = WallMs() - wallBefore;
    relay.join();
    EXPECT_GE(elapsed, 100);
    EXPECT_LT(elapsed, 5000);
    EXPECT_LT(CpuMs() - cpuBefore, 150);
    EXPECT_EQ(ReadDevice(device, 2), (std::vector<uint8_t>{0x55, 0xAA}));
}

TEST_F(SerialDeviceTest, ClosedPseudoTerminalMeansDeviceGone) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    pty_.Close();

    const int64_t wallBefore = WallMs();
    EXPECT_EQ(device.WaitReadable(10000), SerialDevice::Wait::Failed);
    EXPECT_LT(WallMs() - wallBefore, 2000);
    uint8_t buffer[8];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
    const uint8_t byte = 0x42;
    EXPECT_FALSE(device.Write(&byte, 1, 1000));
    EXPECT_LT(WallMs() - wallBefore, 2000);
    EXPECT_EQ(device.QueuedInput(), 0u);

    device.Close();
    device.Close();
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(SerialDeviceTest, GoneWhileWaiting) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    std::thread relay([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        pty_.Close();
    });
    const int64_t wallBefore = WallMs();
    EXPECT_EQ(device.WaitReadable(10000), SerialDevice::Wait::Failed);
    EXPECT_LT(WallMs() - wallBefore, 5000);
    relay.join();
    uint8_t buffer[8];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
}

TEST_F(SerialDeviceTest, WriteTimesOutWhenNobodyReads) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    // Far more than the pty buffers hold, and the master never reads.
    std::vector<uint8_t> bytes(4 * 1024 * 1024, 0x5A);
    const int64_t cpuBefore = CpuMs();
    const int64_t wallBefore = WallMs();
    EXPECT_FALSE(device.Write(bytes.data(), bytes.size(), 300));
    const int64_t elapsed = WallMs() - wallBefore;
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 4000);
    EXPECT_LT(CpuMs() - cpuBefore, 200) << "Write burnt CPU while waiting for room";
    EXPECT_TRUE(device.IsOpen());
}

TEST_F(SerialDeviceTest, ClosedDeviceRefusesEverything) {
    SerialDevice device;
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.WaitReadable(1000), SerialDevice::Wait::Failed);
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
    EXPECT_FALSE(device.Write(buffer, sizeof buffer, 100));
    EXPECT_FALSE(device.Apply(LineSettings{}));
    EXPECT_EQ(device.QueuedInput(), 0u);
    device.Flush();
    device.Close();
}

TEST_F(SerialDeviceTest, DeviceCanBeOpenedAgainAfterItsLineCameBack) {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{}), 0);
    pty_.Close();
    EXPECT_EQ(device.WaitReadable(1000), SerialDevice::Wait::Failed);
    device.Close();

    ASSERT_TRUE(pty_.Create());
    ASSERT_EQ(device.Open(pty_.SlavePath(), LineSettings{57600, kParitySpace, kStopTwo}), 0);
    EXPECT_EQ(MasterSees(), (LineSettings{57600, kParitySpace, kStopTwo}));
    const std::vector<uint8_t> bytes = SpecialBytes();
    ASSERT_TRUE(device.Write(bytes.data(), bytes.size(), 1000));
    EXPECT_EQ(ReadMaster(pty_.MasterFd(), bytes.size()), bytes);
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
    EXPECT_FALSE(ReadLineSettings(-1, settings));
}

}  // namespace
}  // namespace testbay
