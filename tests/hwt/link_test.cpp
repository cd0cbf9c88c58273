#include <gtest/gtest.h>

#include "hwt/hwt_client.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::VirtualLineFixture;

const Bytes kSetLedOne{0x68, 0x04, 0x0E, 0x05, 0x01, 0x01, 0x15};

class Link : public ::testing::Test {
protected:
    explicit Link(uint32_t relayBaud = 38400) : relay_(LineSettings{relayBaud, kParityNone, kStopOne}) {}

    std::vector<uint32_t> WriteBauds() {
        std::vector<uint32_t> bauds;
        for (const auto& written : line_.Line().Writes()) bauds.push_back(written.settings.baud);
        return bauds;
    }
    // The 0x2B telegrams the PC sent, as (port, baud).
    std::vector<std::pair<uint32_t, uint32_t>> BaudCommands() {
        std::vector<std::pair<uint32_t, uint32_t>> commands;
        for (const auto& written : line_.Line().Writes()) {
            const Bytes& frame = written.bytes;
            if (frame.size() < 6 || frame[2] != 0x2B) continue;
            const uint32_t baud = static_cast<uint32_t>(frame[5]) << 24 | static_cast<uint32_t>(frame[6]) << 16 |
                                  static_cast<uint32_t>(frame[7]) << 8 | frame[8];
            commands.emplace_back(frame[4], baud);
        }
        return commands;
    }

    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

class LinkAt115200 : public Link {
protected:
    LinkAt115200() : Link(115200) {}
};

TEST_F(LinkAt115200, FindBaudrateTriesTheLowerRatesFirst) {
    EXPECT_EQ(client_.FindBaudrate(), 0);
    EXPECT_EQ(ComGetBaud(channel_), 115200u);
    EXPECT_EQ(WriteBauds(), (std::vector<uint32_t>{38400, 38400, 38400, 38400, 57600, 57600, 57600, 57600, 115200}));
    EXPECT_EQ(line_.Line().Writes().back().bytes, kSetLedOne);
    EXPECT_EQ(line_.Line().PcSettings().parity, kParityNone);
    EXPECT_TRUE(relay_.Hardware().frontPanel.leds[0]);
}

TEST_F(Link, FindBaudrateOnASilentLineEndsAt153600) {
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.FindBaudrate(), 1);
    EXPECT_EQ(ComGetBaud(channel_), 153600u);
    // The time-out run is cleared at every rate: four full tries each.
    EXPECT_EQ(line_.Line().Writes().size(), 16u);
}

TEST_F(Link, SetBaudrateChoosesTheFamilyRateTheRelayAndPcCanShare) {
    ASSERT_EQ(client_.FindBaudrate(), 0);
    line_.Line().RefuseBaud(153600);
    EXPECT_EQ(client_.SetBaudrate(0, 0), 1);
    EXPECT_EQ(BaudCommands(), (std::vector<std::pair<uint32_t, uint32_t>>{{0, 115200}}));
    EXPECT_EQ(relay_.Line().baud, 115200u);
    EXPECT_EQ(ComGetBaud(channel_), 115200u);
    EXPECT_EQ(client_.CheckHwt(), 1);
}

TEST_F(Link, SetBaudrateFollowsToTheRelaysNewRate) {
    relay_.Hardware().identity.cpuType = "PBX1";
    ASSERT_EQ(client_.FindBaudrate(), 0);
    EXPECT_EQ(client_.SetBaudrate(0, 0), 1);
    EXPECT_EQ(ComGetBaud(channel_), 230400u);
    EXPECT_EQ(relay_.Line().baud, 230400u);
}

TEST_F(Link, SetBaudrateKeepsThePcRateWhileTheRelayStillAnswers) {
    test::ScriptedPeer stubborn([](const Bytes& request) {
        return std::vector<Bytes>{{0x68, 0x03, request[2], 0x01, 0x00, static_cast<uint8_t>(request[2] + 1)}};
    });
    VirtualLineFixture line(stubborn);
    const int channel = line.OpenChannel();
    CHwtV4Client client(channel);
    ComBaud(channel, 38400);
    EXPECT_EQ(client.SetBaudrate(0, 115200), 1);
    EXPECT_EQ(ComGetBaud(channel), 38400u);
}

TEST_F(Link, ReduceBaudrateStepsDownOneRateOnly) {
    ASSERT_EQ(client_.FindBaudrate(), 0);
    EXPECT_EQ(client_.ReduceBaudrate(), 0);
    EXPECT_TRUE(BaudCommands().empty());
    ASSERT_EQ(client_.SetBaudrate(0, 57600), 1);
    ASSERT_EQ(ComGetBaud(channel_), 57600u);
    EXPECT_EQ(client_.ReduceBaudrate(), 1);
    EXPECT_EQ(ComGetBaud(channel_), 38400u);
    EXPECT_EQ(BaudCommands().back(), (std::pair<uint32_t, uint32_t>{0, 38400}));
}

TEST_F(Link, LedCommandsReachTheRelay) {
    ASSERT_EQ(client_.FindBaudrate(), 0);
    int32_t count = 0;
    EXPECT_EQ(client_.GetLedCount(count), 1);
    EXPECT_EQ(count, 16);
    EXPECT_EQ(client_.SetLed(3, 2), 1);
    int32_t on = 1;
    EXPECT_EQ(client_.GetLed(3, on), 1);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(client_.SetLed(3, 1), 1);
    EXPECT_EQ(client_.GetLed(3, on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(client_.SetLed(17, 1), 0);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtFail));
    std::string cpu = "stale";
    EXPECT_EQ(client_.GetCPU(cpu), 1);
    EXPECT_EQ(cpu, "MBX2");
}

TEST_F(Link, FailedGetCpuLeavesAnEmptyText) {
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    std::string cpu = "stale";
    EXPECT_EQ(client_.GetCPU(cpu), 0);
    EXPECT_EQ(cpu, "");
}

}  // namespace
}  // namespace testbay
