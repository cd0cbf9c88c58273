// Network ports through SerialDevice against a scripted server on the loopback.
#include "platform/network_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/serial_device.h"
#include "support/port_server.h"

namespace testbay {
namespace {

using test::PortServer;
using Bytes = PortServer::Bytes;
using Commands = std::vector<std::pair<uint8_t, Bytes>>;
using SteadyTime = std::chrono::steady_clock;

constexpr uint8_t kBaud = 1, kDatasize = 2, kParity = 3, kStopsize = 4, kControl = 5;

int64_t ElapsedMs(SteadyTime::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyTime::now() - start).count();
}

// Reads until `count` bytes have come or a generous time has passed.
Bytes ReadBytes(SerialDevice& device, size_t count) {
    Bytes got;
    const auto start = SteadyTime::now();
    while (got.size() < count && ElapsedMs(start) < 5000) {
        uint8_t chunk[256];
        const long n = device.Read(chunk, sizeof chunk);
        if (n < 0) break;
        got.insert(got.end(), chunk, chunk + n);
        if (n == 0) device.WaitReadable(100);
    }
    return got;
}

class NetworkPortTest : public ::testing::Test {
protected:
    PortServer server_;
    SerialDevice device_;
};

TEST_F(NetworkPortTest, OpenHasTheServerTakeEverySettingAndApplySendsOnlyWhatChanged) {
    ASSERT_EQ(device_.Open(server_.Url(), LineSettings{9600, kParityNone, kStopOne}), 0);
    EXPECT_TRUE(device_.IsOpen());
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.CommandsLocked().size() >= 6; }));
    EXPECT_EQ(server_.Commands(), (Commands{{kBaud, {0x00, 0x00, 0x25, 0x80}},
                                            {kDatasize, {8}},
                                            {kParity, {1}},
                                            {kStopsize, {1}},
                                            {kControl, {8}},
                                            {kControl, {11}}}));
    // The client agreed to binary and declined echo.
    const auto negotiations = server_.Negotiations();
    for (const auto& expected : {std::pair<uint8_t, uint8_t>{PortServer::kWill, 44},
                                 {PortServer::kDo, 0},
                                 {PortServer::kWill, 0},
                                 {PortServer::kDont, 1}}) {
        EXPECT_NE(std::find(negotiations.begin(), negotiations.end(), expected), negotiations.end())
            << int(expected.first) << " " << int(expected.second);
    }

    server_.ClearRecords();
    ASSERT_TRUE(device_.Apply({153600, kParityEven, kStopTwo}));
    EXPECT_EQ(server_.Commands(), (Commands{{kBaud, {0x00, 0x02, 0x58, 0x00}}, {kParity, {3}}, {kStopsize, {2}}}));
    server_.ClearRecords();
    ASSERT_TRUE(device_.Apply({153600, kParityOdd, kStopTwo}));
    ASSERT_TRUE(device_.Apply({153600, kParityMark, kStopTwo}));
    ASSERT_TRUE(device_.Apply({153600, kParitySpace, kStopTwo}));
    ASSERT_TRUE(device_.Apply({153600, kParitySpace, kStopTwo}));
    EXPECT_EQ(server_.Commands(), (Commands{{kParity, {2}}, {kParity, {4}}, {kParity, {5}}}));
    EXPECT_FALSE(device_.Apply({153600, kParityNone, kStopOneAndHalf}));

    device_.Close();
    EXPECT_FALSE(device_.IsOpen());
    ASSERT_TRUE(server_.WaitUntil([&] { return !server_.ConnectedLocked(); }));
    EXPECT_EQ(server_.Commands().back(), (std::pair<uint8_t, Bytes>{kControl, {9}}));  // DTR dropped
}

TEST_F(NetworkPortTest, ARefusedOrUnconfirmedSettingFailsButUnansweredModemLinesDoNot) {
    server_.Ignore(kControl);
    server_.AnswerWith(kBaud, {0x00, 0x00, 0x25, 0x80});  // stays at 9600
    ASSERT_EQ(device_.Open(server_.Url(), LineSettings{}), 0);

    server_.ClearRecords();
    EXPECT_FALSE(device_.Apply({230400, kParityNone, kStopOne}));
    // What the server may have taken is put back, and the old rate stays the port's.
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.CommandsLocked().size() >= 2; }));
    EXPECT_EQ(server_.Commands(), (Commands{{kBaud, {0x00, 0x03, 0x84, 0x00}}, {kBaud, {0x00, 0x00, 0x25, 0x80}}}));
    server_.ClearRecords();
    EXPECT_TRUE(device_.Apply({9600, kParityNone, kStopOne}));
    EXPECT_EQ(server_.Commands(), Commands{});

    server_.Ignore(kParity);
    const auto start = SteadyTime::now();
    EXPECT_FALSE(device_.Apply({9600, kParityEven, kStopOne}));
    EXPECT_GE(ElapsedMs(start), NetworkPort::kConfirmTimeoutMs - 50);
    EXPECT_LT(ElapsedMs(start), 4 * NetworkPort::kConfirmTimeoutMs);

    // At open, the same refusals fail the open with the reason.
    SerialDevice second;
    device_.Close();
    EXPECT_EQ(second.Open(server_.Url(), LineSettings{230400, kParityNone, kStopOne}), EINVAL);
    EXPECT_EQ(second.OpenFailure().systemText, "the server did not take 230400 bit/s");
    EXPECT_FALSE(second.IsOpen());
    EXPECT_NE(second.Open(server_.Url(), LineSettings{9600, kParityEven, kStopOne}), 0);
    EXPECT_EQ(second.OpenFailure().systemText, "the server did not confirm even parity within 1 s");

    PortServer plain;
    plain.DeclineComPort();
    EXPECT_EQ(second.Open(plain.Url(), LineSettings{}), EPROTO);
    EXPECT_EQ(second.OpenFailure().systemText, "the server refuses the COM port option");
}

TEST_F(NetworkPortTest, DataIsEscapedBothWaysAndTelnetCommandsNeverReachTheCaller) {
    ASSERT_EQ(device_.Open(server_.Url(), LineSettings{115200, kParityNone, kStopOne}), 0);
    server_.ClearRecords();
    const Bytes telegram{0x68, 0xFF, 0xFF, 0x00, 0x16};
    ASSERT_TRUE(device_.Write(telegram.data(), telegram.size(), 1000));
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.DataLocked().size() >= telegram.size(); }));
    EXPECT_EQ(server_.Data(), telegram);
    EXPECT_EQ(server_.Raw(), (Bytes{0x68, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x16}));

    // An answer cut into pieces, with commands in between.
    server_.ClearRecords();
    server_.SendRaw({0x68, 0xFF});
    server_.SendRaw({0xFF, 0xFF, 0xF1, 0x01, 0xFF, 0xFA, 44, 107, 0x30, 0xFF});
    server_.SendRaw({0xF0, 0x02, 0xFF, 0xFB, 0x01, 0x16});
    EXPECT_EQ(ReadBytes(device_, 5), (Bytes{0x68, 0xFF, 0x01, 0x02, 0x16}));
    // The server's WILL ECHO on the way was declined.
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.RawLocked().size() >= 3; }));
    EXPECT_EQ(server_.Raw(), (Bytes{0xFF, 0xFE, 0x01}));
}

TEST_F(NetworkPortTest, ADroppedConnectionIsADeviceGoneAndNothingHangs) {
    server_.Echo();
    ASSERT_EQ(device_.Open(server_.Url(), LineSettings{}), 0);
    const Bytes request{0x10, 0x5A, 0xFF, 0x16};
    ASSERT_TRUE(device_.Write(request.data(), request.size(), 1000));
    EXPECT_EQ(ReadBytes(device_, request.size()), request);

    // An answer sent just before the close is still read, the drop after it.
    server_.SendRaw({0x01, 0xFF, 0xFF});
    server_.Drop();
    EXPECT_EQ(ReadBytes(device_, 2), (Bytes{0x01, 0xFF}));
    ASSERT_TRUE(device_.Open(server_.Url(), LineSettings{}) == 0);

    // Mid-read: the caller waits for an answer that never comes.
    server_.Drop();
    const auto start = SteadyTime::now();
    EXPECT_EQ(device_.WaitReadable(5000), SerialDevice::Wait::Readable);
    uint8_t buffer[16];
    EXPECT_EQ(device_.Read(buffer, sizeof buffer), -1);
    EXPECT_EQ(device_.WaitReadable(5000), SerialDevice::Wait::Failed);
    EXPECT_EQ(device_.Read(buffer, sizeof buffer), -1);
    EXPECT_FALSE(device_.Write(request.data(), request.size(), 1000));
    EXPECT_FALSE(device_.Apply({19200, kParityNone, kStopOne}));
    EXPECT_LT(ElapsedMs(start), 2000);

    // Mid-write: the server goes after a few bytes of a long write.
    ASSERT_EQ(device_.Open(server_.Url(), LineSettings{1000000, kParityNone, kStopOne}), 0);
    ASSERT_TRUE(server_.WaitUntil([&] { return server_.ConnectedLocked(); }));
    server_.ClearRecords();
    server_.DropAfter(100);
    const Bytes bulk(16 << 20, 0x55);
    const auto writing = SteadyTime::now();
    EXPECT_FALSE(device_.Write(bulk.data(), bulk.size(), 3000));
    EXPECT_LT(ElapsedMs(writing), 4000);
}

TEST_F(NetworkPortTest, ConnectFailuresSayWhyAndADeadHostFailsWithinTheTimeOut) {
    const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
    EXPECT_EQ(device_.Open(refused, LineSettings{}), ECONNREFUSED);
    EXPECT_EQ(device_.OpenFailure().systemText, "Connection refused");
    EXPECT_FALSE(device_.IsOpen());

    test::UnansweredListener dead;
    device_.SetConnectTimeout(300);
    const auto start = SteadyTime::now();
    EXPECT_EQ(device_.Open("socket://127.0.0.1:" + std::to_string(dead.Port()), LineSettings{}), ETIMEDOUT);
    EXPECT_GE(ElapsedMs(start), 250);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_EQ(device_.OpenFailure().systemText, "no connection within 300 ms");

    for (const char* bad : {"rfc2217://127.0.0.1", "rfc2217://127.0.0.1:0", "socket://:7001",
                            "rfc2217://127.0.0.1:70000", "rfc2217://::1:7001", "socket://host:70x"}) {
        EXPECT_EQ(device_.Open(bad, LineSettings{}), EINVAL) << bad;
        EXPECT_EQ(device_.OpenFailure().systemText.rfind("not a network address", 0), 0u) << bad;
    }
    NetworkAddress address;
    ASSERT_TRUE(ParseNetworkAddress("RFC2217://[::1]:7001", address));
    EXPECT_TRUE(address.telnet);
    EXPECT_EQ(address.host, "::1");
    EXPECT_EQ(address.port, 7001);
}

TEST(NetworkPortPlain, SocketCarriesBytesUnchangedTakesAnySettingAndFlushDropsWhatCame) {
    PortServer server(false);
    SerialDevice device;
    ASSERT_EQ(device.Open(server.Url(), LineSettings{}), 0);
    EXPECT_TRUE(device.Apply({230400, kParityEven, kStopTwo}));
    const Bytes telegram{0x68, 0xFF, 0xFA, 0x2C, 0x16};
    ASSERT_TRUE(device.Write(telegram.data(), telegram.size(), 1000));
    ASSERT_TRUE(server.WaitUntil([&] { return server.DataLocked().size() >= telegram.size(); }));
    EXPECT_EQ(server.Raw(), telegram);  // no negotiation, no escaping

    server.SendRaw({0xFF, 0xFF, 0x01});
    EXPECT_EQ(ReadBytes(device, 3), (Bytes{0xFF, 0xFF, 0x01}));
    server.SendRaw({0x01, 0x02});
    ASSERT_EQ(device.WaitReadable(5000), SerialDevice::Wait::Readable);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // both bytes in
    device.Flush();
    uint8_t buffer[4];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0);
}

// The answer window opens once the request has left the far end's line.
TEST(NetworkPortTiming, WriteTakesTheWireTimeAtTheSetRateOnTheProcessClock) {
    for (const bool telnet : {true, false}) {
        PortServer server(telnet);
        VirtualClock clock;
        const ScopedClock scope(clock);
        SerialDevice device;
        ASSERT_EQ(device.Open(server.Url(), LineSettings{9600, kParityNone, kStopOne}), 0);
        const Bytes bytes(96, 0xFF);
        int64_t before = clock.NowUs();
        ASSERT_TRUE(device.Write(bytes.data(), bytes.size(), 1000));
        EXPECT_EQ(clock.NowUs() - before, 100000) << telnet;
        ASSERT_TRUE(device.Apply({38400, kParityEven, kStopOne}));
        before = clock.NowUs();
        ASSERT_TRUE(device.Write(bytes.data(), bytes.size(), 1000));
        EXPECT_EQ(clock.NowUs() - before, 27500) << telnet;
    }
}

TEST(NetworkPortKeepAlive, AnIdleSessionSendsNopsAndTheServerSeesNoData) {
    PortServer server;
    NetworkPort port;
    ASSERT_EQ(port.Open(server.Url(), LineSettings{}, 1000, std::chrono::milliseconds(30)), 0);
    EXPECT_TRUE(server.WaitUntil([&] { return server.NopsLocked() >= 3; }));
    EXPECT_EQ(server.Data(), Bytes{});
    port.Close();
    EXPECT_TRUE(server.WaitUntil([&] { return !server.ConnectedLocked(); }));

    PortServer plain(false);
    ASSERT_EQ(port.Open(plain.Url(), LineSettings{}, 1000, std::chrono::milliseconds(10)), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(plain.Raw(), Bytes{});  // a plain stream has no NOP
}

}  // namespace
}  // namespace testbay
