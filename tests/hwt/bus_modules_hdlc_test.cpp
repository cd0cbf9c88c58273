#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::ScriptedPeer;
using test::VirtualLineFixture;

class BusModules : public ::testing::Test {
protected:
    // The PC side at the relay's start rate, as the baud-rate search leaves it.
    void SetUp() override {
        ComParity(channel_, kParityNone, kStopOne);
        ComBaud(channel_, 38400);
    }
    // Gives module `module` its memory with a 44-byte identity block.
    void FitIdentityBlock(int32_t module, const Bytes& identity) {
        sim::MemoryArea area{0, 0x1000, 0, 0xFF, {}};
        area.Write(0, identity.data(), identity.size());
        relay_.Hardware().memory.areas[module + 10] = area;
    }

    sim::RelayModel relay_;
    sim::SerialPortsState& state_ = relay_.Hardware().serialPorts;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(BusModules, BusInformationAndStatistics) {
    int32_t a = -1;
    int32_t b = -1;
    int32_t c = -1;
    int32_t d = -1;
    EXPECT_EQ(client_.GetBusInfo(1, a, b, c, d), 1);
    EXPECT_EQ(std::tie(a, b), std::make_tuple(0x21, 0x03));
    EXPECT_EQ(c & 0xFF, 0x16);
    EXPECT_EQ(d, 0x04123456);
    EXPECT_EQ(client_.GetBusInfo(5, a, b, c, d), 0);
    EXPECT_EQ(std::tie(a, b, d), std::make_tuple(0x21, 0x03, 0x04123456));

    EXPECT_EQ(client_.GetBusBits(a, b), 1);
    EXPECT_EQ(std::tie(a, b), std::make_tuple(0x0E, 0));
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.GetBusBits(a, b), 0);
    EXPECT_EQ(std::tie(a, b), std::make_tuple(0, 0));
}

TEST_F(BusModules, ModulesAreQueriedResetAndTested) {
    int32_t info = -1;
    const int64_t before = line_.Clock().NowMs();
    EXPECT_EQ(client_.GetModuleInfo(0, info), 1);
    EXPECT_EQ(info, 0x31);
    EXPECT_GE(line_.Clock().NowMs() - before, 200);
    EXPECT_EQ(client_.GetModuleInfo(7, info), 0);
    EXPECT_EQ(info, 0);

    int32_t a = -1;
    int32_t b = -1;
    int32_t c = -1;
    int32_t d = -1;
    int32_t e = -1;
    EXPECT_EQ(client_.GetModul(0, a, b, c, d, e), 1);
    EXPECT_EQ(std::tie(a, b, c, d, e), std::make_tuple(0x31, 0x02, 0x05, 0x00050231, 0x12345678));
    EXPECT_EQ(client_.GetModul(1, a, b, c, d, e), 0);
    EXPECT_EQ(std::tie(a, b, c, d, e), std::make_tuple(0, 0, 0, 0, 0));

    state_.modules[0].heldInReset = true;
    int32_t result = -1;
    EXPECT_EQ(client_.TestCommunicationModule(0, 1, result), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(client_.ModuleReset(0), 1);
    EXPECT_FALSE(state_.modules[0].heldInReset);
    EXPECT_EQ(client_.TestCommunicationModule(0, 1, result), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(client_.ModuleReset(2), 0);
}

TEST(BusModulesScripted, ShortBlocksLeaveTheMissingBytesAtZero) {
    ScriptedPeer peer([](const Bytes& request) {
        return std::vector<Bytes>{
            sim::EncodeHwtAnswer(request[2], kHwtPass, {sim::AnswerScalar(0x1234), sim::AnswerText("\x11\x22")})};
    });
    VirtualLineFixture line(peer);
    CHwtV4Client client(line.OpenChannel());
    int32_t a = -1;
    int32_t b = -1;
    int32_t c = -1;
    int32_t d = -1;
    EXPECT_EQ(client.GetBusInfo(1, a, b, c, d), 1);
    EXPECT_EQ(std::tie(a, b, c, d), std::make_tuple(0x12, 0x34, 0x2211, 0));
}

TEST_F(BusModules, EthernetModuleIdentityBlock) {
    Bytes identity(44, 0);
    identity[0] = 0x01;
    const std::string serial = "BF1234567890";
    std::copy(serial.begin(), serial.end(), identity.begin() + 1);
    const Bytes mac{0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
    std::copy(mac.begin(), mac.end(), identity.begin() + 33);
    FitIdentityBlock(0, identity);

    std::string text;
    EXPECT_EQ(client_.Nk300GetMacAdr(0, text), 1);
    EXPECT_EQ(text, "000A1B2C3D4E");
    EXPECT_EQ(client_.Nk300GetSerialNumber(0, text, 256), 1);
    EXPECT_EQ(text, "BF1234567890");
    EXPECT_EQ(client_.Nk300GetSerialNumber(0, text, 5), 1);
    EXPECT_EQ(text, "BF123");

    // A serial number without terminator ends with the block.
    FitIdentityBlock(1, Bytes(44, 'S'));
    EXPECT_EQ(client_.Nk300GetSerialNumber(1, text, 256), 1);
    EXPECT_EQ(text, std::string(43, 'S'));

    // No module memory: nothing to report.
    EXPECT_EQ(client_.Nk300GetMacAdr(3, text), 0);
    EXPECT_EQ(text, "");
    text = "old";
    EXPECT_EQ(client_.Nk300GetSerialNumber(3, text, 256), 0);
    EXPECT_EQ(text, "");
}

TEST_F(BusModules, HdlcRecorderIsSetStartedFrozenAndRead) {
    int32_t r = 0;
    EXPECT_EQ(client_.SetHdlcParam(128000, 1, 3, r), 1);
    EXPECT_EQ(r, 128000);
    EXPECT_EQ(std::tie(state_.hdlc.mode, state_.hdlc.address), std::make_tuple(1, 3));
    r = -1;
    EXPECT_EQ(client_.SetHdlcParamAlt(0, 1, r), 0);
    EXPECT_EQ(r, -1);

    EXPECT_EQ(client_.HdlcStart(), 1);
    int32_t a = -1;
    int32_t b = -1;
    int32_t c = -1;
    EXPECT_EQ(client_.GetHdlcStatus(a, b, c), 1);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(1, 4, 0));
    // A running recorder is not read; the outputs stay.
    int32_t length = -1;
    std::vector<uint8_t> buffer{0xEE};
    EXPECT_EQ(client_.HdlcRead(0, 0, c, length, buffer), 0);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0xEE}));

    EXPECT_EQ(client_.HdlcFreeze(), 1);
    EXPECT_EQ(client_.HdlcRead(2, 1, c, length, buffer), 1);
    EXPECT_EQ(c, 6);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0x10, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(client_.HdlcReadAlt(0, c, length, buffer), 1);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0x03, 0x3F}));

    EXPECT_EQ(client_.HdlcDecode(2, 0, length, buffer), 1);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "A=03 I N(S)=0 N(R)=0 P=1 L=4");
    EXPECT_EQ(length, 28);
    EXPECT_EQ(client_.HdlcDecodeAlt(3, c, length, buffer), 1);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "A=03 RR N(R)=1 P=0");

    // A frame longer than an answer comes in pieces, each within the block.
    state_.hdlc.frames.push_back(Bytes(300, 0x55));
    EXPECT_EQ(client_.HdlcRead(4, 0, c, length, buffer), 1);
    EXPECT_EQ(std::tie(c, length), std::make_tuple(300, 200));
    EXPECT_EQ(client_.HdlcRead(4, 200, c, length, buffer), 1);
    EXPECT_EQ(length, 100);
    EXPECT_EQ(buffer, Bytes(100, 0x55));
    EXPECT_EQ(client_.HdlcRead(9, 0, c, length, buffer), 0);
    EXPECT_EQ(length, 100);
}

}  // namespace
}  // namespace testbay
