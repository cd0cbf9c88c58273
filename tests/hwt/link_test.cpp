#include <gtest/gtest.h>

#include "hwt/hwt_client.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::VirtualLineFixture;
using BaudCommand = std::vector<int32_t>;

template <uint32_t kRelayBaud>
class LinkAt : public ::testing::Test {
protected:
    // The rate-change telegrams the PC sent, as their port and rate.
    std::vector<BaudCommand> BaudCommands() { return test::SentScalars(line_.Line(), 0x2B); }

    sim::RelayModel relay_{LineSettings{kRelayBaud, kParityNone, kStopOne}};
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};
using Link = LinkAt<38400>;
using LinkAt115200 = LinkAt<115200>;

TEST_F(LinkAt115200, FindBaudrateTriesTheLowerRatesFirst) {
    EXPECT_EQ(client_.FindBaudrate(), 0);
    EXPECT_EQ(ComGetBaud(channel_), 115200u);
    std::vector<uint32_t> bauds;
    for (const auto& written : line_.Line().Writes()) bauds.push_back(written.settings.baud);
    EXPECT_EQ(bauds, (std::vector<uint32_t>{38400, 38400, 38400, 38400, 57600, 57600, 57600, 57600, 115200}));
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x04, 0x0E, 0x05, 0x01, 0x01, 0x15}));
    EXPECT_EQ(line_.Line().PcSettings().parity, kParityNone);
    EXPECT_TRUE(relay_.Hardware().frontPanel.leds[0]);

    int32_t count = 0;
    EXPECT_EQ(client_.GetLedCount(count), 1);
    EXPECT_EQ(count, 16);
    EXPECT_EQ(client_.SetLed(17, 1), 0);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtFail));
    std::string cpu = "stale";
    EXPECT_EQ(client_.GetCPU(cpu), 1);
    EXPECT_EQ(cpu, "MBX2");
}

TEST_F(Link, SilentLineEndsFindBaudrateAt153600AndLeavesAnEmptyCpuText) {
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.FindBaudrate(), 1);
    EXPECT_EQ(ComGetBaud(channel_), 153600u);
    // The time-out run is cleared at every rate: four full tries each.
    EXPECT_EQ(line_.Line().Writes().size(), 16u);
    std::string cpu = "stale";
    EXPECT_EQ(client_.GetCPU(cpu), 0);
    EXPECT_EQ(cpu, "");
}

TEST_F(Link, SetBaudrateChoosesTheFamilyRateTheRelayAndPcCanShareAndReduceStepsDownOneRateOnly) {
    ASSERT_EQ(client_.FindBaudrate(), 0);
    EXPECT_EQ(client_.ReduceBaudrate(), 0);
    EXPECT_TRUE(BaudCommands().empty());
    line_.Line().RefuseBaud(153600);
    EXPECT_EQ(client_.SetBaudrate(0, 0), 1);
    EXPECT_EQ(BaudCommands(), (std::vector<BaudCommand>{{0, 115200}}));
    EXPECT_EQ(relay_.Line().baud, 115200u);
    EXPECT_EQ(ComGetBaud(channel_), 115200u);
    EXPECT_EQ(client_.CheckHwt(), 1);
    EXPECT_EQ(client_.ReduceBaudrate(), 1);
    EXPECT_EQ(ComGetBaud(channel_), 57600u);
    EXPECT_EQ(BaudCommands().back(), (BaudCommand{0, 57600}));
    // Another processor family, and the PC follows to the relay's new rate.
    relay_.Hardware().identity.cpuType = "PBX1";
    EXPECT_EQ(client_.SetBaudrate(0, 0), 1);
    EXPECT_EQ(ComGetBaud(channel_), 230400u);
    EXPECT_EQ(relay_.Line().baud, 230400u);
}

TEST(LinkToAStubbornRelay, SetBaudrateKeepsThePcRateWhileTheRelayStillAnswers) {
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

}  // namespace
}  // namespace testbay
