#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using test::Bytes;

class BusModules : public test::HwtRelayTest {
protected:
    // Gives module `module` its memory with a 44-byte identity block.
    void FitIdentityBlock(int32_t module, const Bytes& identity) {
        sim::MemoryArea area{0, 0x1000, 0, 0xFF, {}};
        area.Write(0, identity.data(), identity.size());
        relay_.Hardware().memory.areas[module + 10] = area;
    }

    sim::SerialPortsState& state_ = relay_.Hardware().serialPorts;
};

TEST_F(BusModules, BusInformationUnpacksItsWordsAndKeepsOrClearsOnFailure) {
    int32_t a = -1, b = -1, c = -1, d = -1;
    EXPECT_EQ(Outcome(client_.GetBusInfo(1, a, b, c, d), a, b, d), std::make_tuple(1, 0x21, 0x03, 0x04123456));
    EXPECT_EQ(c & 0xFF, 0x16);
    EXPECT_EQ(Outcome(client_.GetBusInfo(5, a, b, c, d), a, b, d), std::make_tuple(0, 0x21, 0x03, 0x04123456));
    EXPECT_EQ(Outcome(client_.GetBusBits(a, b), a, b), std::make_tuple(1, 0x0E, 0));

    // Short blocks leave the missing bytes at zero.
    peer_.SetScript([](const Bytes& request) {
        return std::vector<Bytes>{
            sim::EncodeHwtAnswer(request[2], kHwtPass, {sim::AnswerScalar(0x1234), sim::AnswerText("\x11\x22")})};
    });
    EXPECT_EQ(Outcome(client_.GetBusInfo(1, a, b, c, d), a, b, c, d), std::make_tuple(1, 0x12, 0x34, 0x2211, 0));

    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(Outcome(client_.GetBusBits(a, b), a, b), std::make_tuple(0, 0, 0));
}

TEST_F(BusModules, AnswersWithoutABlockNeverHandOnTheBlockOfTheCommandBefore) {
    // Memory reads bring eight bytes; every other command passes without a block.
    Script([](uint8_t command) {
        if (command != 0x17) return test::PassAnswer(command, {0x0102});
        return sim::EncodeHwtAnswer(0x17, kHwtPass, {sim::AnswerText("\x11\x22\x33\x44\x55\x66\x77\x88")});
    });
    std::vector<uint8_t> read;
    const auto afterARead = [&] { ASSERT_EQ(client_.ReadMemory(0, 0, 8, read), 1); };
    int32_t a = -1, b = -1, c = -1, d = -1, e = -1, length = -1;
    std::vector<uint8_t> buffer{0xEE};

    afterARead();
    EXPECT_EQ(Outcome(client_.GetBusInfo(1, a, b, c, d), a, b, c, d), std::make_tuple(1, 1, 2, 0, 0));
    afterARead();
    EXPECT_EQ(Outcome(client_.GetModul(0, a, b, c, d, e), a, b, c, d, e), std::make_tuple(1, 0, 0, 0, 0, 0));
    afterARead();
    EXPECT_EQ(Outcome(client_.HdlcRead(0, 0, c, length, buffer), length, buffer), std::make_tuple(1, 0, Bytes{}));
    afterARead();
    buffer = {0xEE};
    EXPECT_EQ(Outcome(client_.HdlcDecode(0, 0, length, buffer), length, buffer), std::make_tuple(1, 0, Bytes{}));
    afterARead();
    buffer = {0xEE};
    EXPECT_EQ(Outcome(client_.HdlcReadAlt(0, c, length, buffer), length, buffer), std::make_tuple(1, 0, Bytes{}));
    afterARead();
    buffer = {0xEE};
    EXPECT_EQ(Outcome(client_.HdlcDecodeAlt(0, c, length, buffer), length, buffer), std::make_tuple(1, 0, Bytes{}));
}

TEST_F(BusModules, ModulesAreQueriedResetAndTested) {
    int32_t info = -1;
    const int64_t before = line_.Clock().NowMs();
    EXPECT_EQ(Outcome(client_.GetModuleInfo(0, info), info), std::make_tuple(1, 0x31));
    EXPECT_GE(line_.Clock().NowMs() - before, 200);
    EXPECT_EQ(Outcome(client_.GetModuleInfo(7, info), info), std::make_tuple(0, 0));

    int32_t a = -1, b = -1, c = -1, d = -1, e = -1;
    EXPECT_EQ(Outcome(client_.GetModul(0, a, b, c, d, e), a, b, c, d, e),
              std::make_tuple(1, 0x31, 0x02, 0x05, 0x00050231, 0x12345678));
    EXPECT_EQ(Outcome(client_.GetModul(1, a, b, c, d, e), a, b, c, d, e), std::make_tuple(0, 0, 0, 0, 0, 0));

    state_.modules[0].heldInReset = true;
    int32_t result = -1;
    EXPECT_EQ(Outcome(client_.TestCommunicationModule(0, 1, result), result), std::make_tuple(0, 0));
    EXPECT_EQ(Outcome(client_.ModuleReset(0), state_.modules[0].heldInReset), std::make_tuple(1, false));
    EXPECT_EQ(Outcome(client_.TestCommunicationModule(0, 1, result), result), std::make_tuple(1, 1));
}

TEST_F(BusModules, EthernetModuleIdentityBlock) {
    Bytes identity(44, 0);
    const std::string serial = "TQ1234567890";
    std::copy(serial.begin(), serial.end(), identity.begin() + 1);
    const Bytes mac{0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
    std::copy(mac.begin(), mac.end(), identity.begin() + 33);
    FitIdentityBlock(0, identity);
    std::string text;
    EXPECT_EQ(Outcome(client_.Nk300GetMacAdr(0, text), text), std::make_tuple(1, "000A1B2C3D4E"));
    EXPECT_EQ(Outcome(client_.Nk300GetSerialNumber(0, text, 5), text), std::make_tuple(1, "TQ123"));
    // A serial number without terminator ends with the block.
    FitIdentityBlock(1, Bytes(44, 'S'));
    EXPECT_EQ(Outcome(client_.Nk300GetSerialNumber(1, text, 256), text), std::make_tuple(1, std::string(43, 'S')));
    // No module memory: nothing to report.
    EXPECT_EQ(Outcome(client_.Nk300GetMacAdr(3, text), text), std::make_tuple(0, ""));
    text = "old";
    EXPECT_EQ(Outcome(client_.Nk300GetSerialNumber(3, text, 256), text), std::make_tuple(0, ""));
    // A module number whose memory index would pass the 32-bit range has no memory either.
    line_.Line().ClearWrites();
    constexpr int32_t kLargest = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(Outcome(client_.Nk300GetSerialNumber(kLargest, text, 256), text), std::make_tuple(0, ""));
    EXPECT_EQ(Outcome(client_.Nk300GetMacAdr(kLargest - 9, text), text), std::make_tuple(0, ""));
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_F(BusModules, HdlcRecorderIsSetStartedFrozenAndReadInPieces) {
    int32_t r = 0;
    EXPECT_EQ(Outcome(client_.SetHdlcParam(128000, 1, 3, r), r), std::make_tuple(1, 128000));
    r = -1;
    EXPECT_EQ(Outcome(client_.SetHdlcParamAlt(0, 1, r), r), std::make_tuple(0, -1));

    EXPECT_EQ(client_.HdlcStart(), 1);
    int32_t a = -1, b = -1, c = -1, length = -1;
    EXPECT_EQ(Outcome(client_.GetHdlcStatus(a, b, c), a, b, c), std::make_tuple(1, 1, 4, 0));
    // A running recorder is not read; the outputs stay.
    std::vector<uint8_t> buffer{0xEE};
    EXPECT_EQ(Outcome(client_.HdlcRead(0, 0, c, length, buffer), length, buffer), std::make_tuple(0, -1, Bytes{0xEE}));

    EXPECT_EQ(client_.HdlcFreeze(), 1);
    EXPECT_EQ(Outcome(client_.HdlcRead(2, 1, c, length, buffer), c, length, buffer),
              std::make_tuple(1, 6, 5, Bytes{0x10, 0x01, 0x02, 0x03, 0x04}));
    const std::string rr = "A=03 RR N(R)=1 P=0";
    EXPECT_EQ(Outcome(client_.HdlcDecodeAlt(3, c, length, buffer), c, buffer),
              std::make_tuple(1, 2, Bytes(rr.begin(), rr.end())));

    // A frame longer than an answer comes in pieces, each within the block.
    state_.hdlc.frames.push_back(Bytes(300, 0x55));
    EXPECT_EQ(Outcome(client_.HdlcRead(4, 0, c, length, buffer), c, length), std::make_tuple(1, 300, 200));
    EXPECT_EQ(Outcome(client_.HdlcRead(4, 200, c, length, buffer), length, buffer),
              std::make_tuple(1, 100, Bytes(100, 0x55)));
    EXPECT_EQ(Outcome(client_.HdlcRead(9, 0, c, length, buffer), length), std::make_tuple(0, 100));
}

}  // namespace
}  // namespace testbay
