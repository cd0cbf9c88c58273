// Network ports through the channel table: the connect time-out from the
// settings, the reasons of a failed open, the trace, and a dropped connection.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "comm/channel.h"
#include "comm/port_mapping.h"
#include "comm/trace.h"
#include "settings/directories.h"
#include "support/port_server.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::PortServer;
using Bytes = PortServer::Bytes;
using SteadyTime = std::chrono::steady_clock;

int64_t ElapsedMs(SteadyTime::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyTime::now() - start).count();
}

// Complete once `size` bytes have come.
class CountingReceiver final : public FrameReceiver {
public:
    explicit CountingReceiver(size_t size) : size_(size) {}
    int Feed(const uint8_t* bytes, size_t count) override {
        FrameReceiver::Feed(bytes, count);
        return RawCount() >= size_ ? kComplete : kIncomplete;
    }

private:
    size_t size_;
};

class NetworkChannelTest : public ::testing::Test {
protected:
    NetworkChannelTest() {
        SetConfigDirectory(dir_.Path());
        SetTempDirectory(dir_.Path());
    }
    ~NetworkChannelTest() override {
        for (const int channel : channels_) ComClose(channel);
        LogClose();
    }
    void SetPorts(const std::string& ports) {
        test::WriteWholeFile(dir_.File("Testbay.ini"), "[FirmwareUpdate]\r\nLogfile=1\r\n[Ports]\r\n" + ports);
        LogOpen("LOG.TXT");
    }
    int Open(std::string& failure) {
        int channel = -1;
        if (ComOpen(3, channel, failure)) channels_.push_back(channel);
        return channel;
    }
    int Exchange(int channel, const Bytes& request) {
        CountingReceiver receiver(request.size());
        return ComTransact(channel, request.data(), static_cast<uint32_t>(request.size()), 300, &receiver);
    }
    std::string Trace() const { return test::ReadTextFile(dir_.File("LOG.TXT")); }

    test::TempDir dir_;
    std::vector<int> channels_;
};

TEST_F(NetworkChannelTest, ConnectTimeoutComesFromPortsInMillisecondsAndAnOddValueMeansTheDefault) {
    SetPorts("");
    EXPECT_EQ(ConnectTimeoutMs(), 3000);
    for (const auto& [value, expected] : std::vector<std::pair<std::string, int>>{{"250", 250},
                                                                                  {"100", 100},
                                                                                  {"60000", 60000},
                                                                                  {"99", 3000},
                                                                                  {"0", 3000},
                                                                                  {"-5", 3000},
                                                                                  {"60001", 3000},
                                                                                  {"fast", 3000}}) {
        SetPorts("ConnectTimeout=" + value + "\r\n");
        EXPECT_EQ(ConnectTimeoutMs(), expected) << value;
    }
}

TEST_F(NetworkChannelTest, AFailedOpenSaysWhyAndADeadHostFailsWithinTheConfiguredTime) {
    const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
    SetPorts("COM3=" + refused + "\r\n");
    std::string failure;
    EXPECT_EQ(Open(failure), -1);
    EXPECT_EQ(failure, "cannot open COM3 (" + refused + "): Connection refused");

    test::UnansweredListener dead;
    const std::string silent = "socket://127.0.0.1:" + std::to_string(dead.Port());
    SetPorts("ConnectTimeout=200\r\nCOM3=" + silent + "\r\n");
    const auto start = SteadyTime::now();
    EXPECT_EQ(Open(failure), -1);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_EQ(failure, "cannot open COM3 (" + silent + "): no connection within 200 ms");

    SetPorts("COM3=rfc2217://127.0.0.1\r\n");
    EXPECT_EQ(Open(failure), -1);
    EXPECT_EQ(failure,
              "cannot open COM3 (rfc2217://127.0.0.1): not a network address: rfc2217://host:port or "
              "socket://host:port expected");
}

TEST_F(NetworkChannelTest, AConnectionThatDropsIsTracedAndConnectedAgain) {
    auto server = std::make_unique<PortServer>();
    server->Echo();
    const uint16_t port = server->Port();
    SetPorts("COM3=" + server->Url() + "\r\n");
    std::string failure;
    const int channel = Open(failure);
    ASSERT_GE(channel, 0) << failure;
    const Bytes request{0x68, 0xFF, 0x16};
    EXPECT_EQ(Exchange(channel, request), kExchangeComplete);
    EXPECT_NE(Trace().find("COM3: connected to " + server->Url()), std::string::npos);

    // The server ends the connection but stays: the next exchange connects again.
    server->Drop();
    ASSERT_TRUE(server->WaitUntil([&] { return !server->ConnectedLocked(); }));
    EXPECT_EQ(Exchange(channel, request), kExchangeComplete);
    EXPECT_EQ(server->Connections(), 2);
    EXPECT_NE(Trace().find("COM3: lost the connection to " + server->Url()), std::string::npos);

    // The server goes away: the exchange fails in its time, the port stays closed.
    const std::string url = server->Url();
    server.reset();
    const auto start = SteadyTime::now();
    EXPECT_EQ(Exchange(channel, request), kExchangeTimeout);
    EXPECT_EQ(Exchange(channel, request), kExchangeTimeout);
    EXPECT_LT(ElapsedMs(start), 3000);
    EXPECT_NE(Trace().find("cannot open COM3 (" + url + "): Connection refused"), std::string::npos);

    // Back again: a fresh open, as the next entry into the hardware test makes, works.
    server = std::make_unique<PortServer>(true, port);
    server->Echo();
    const int again = Open(failure);
    ASSERT_GE(again, 0) << failure;
    EXPECT_EQ(Exchange(again, request), kExchangeComplete);
    ComClose(again);
    EXPECT_NE(Trace().find("COM3: disconnected from " + url), std::string::npos);
}

}  // namespace
}  // namespace testbay
