#include <gtest/gtest.h>

#include <memory>

#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using sim::EncodeHwtAnswer;
using test::Bytes;
using test::CountOf;

class Telegramm : public ::testing::Test {
protected:
    // Every request gets the answers `make` builds from its command byte.
    void AnswerWith(std::function<std::vector<Bytes>(uint8_t command)> make) {
        peer_.SetScript([make](const Bytes& request) { return make(request[2]); });
    }
    // Every request gets one answer of this status, echoing its command.
    void AnswerStatus(uint8_t status) {
        AnswerWith([status](uint8_t command) { return std::vector<Bytes>{EncodeHwtAnswer(command, status, {})}; });
    }
    size_t Transmissions() const { return peer_.Requests().size(); }
    int Traced(const std::string& text) const { return CountOf(line_.Trace(), text + " in CHwtV4Client::telegramm\n"); }

    test::ScriptedPeer peer_;
    test::VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(Telegramm, EachStatusHasItsResultRepeatsAndTraceLine) {
    const std::tuple<uint8_t, int, size_t, const char*> cases[] = {{kHwtPass, 1, 1, "PASS"},
                                                                   {kHwtDone, 1, 1, "DONE"},
                                                                   {kHwtFail, 0, 1, "FAIL"},
                                                                   {kHwtCommandUnknown, 0, 1, "BEFEHL_UNBEKANNT"},
                                                                   {kHwtTimeout, 0, 4, "TIMEOUT"},
                                                                   {kHwtChecksumError, 0, 4, "CKS_ERROR"},
                                                                   {7, 0, 4, "unbekannter Ausfuehrunsstatus"}};
    for (const auto& [status, result, transmissions, text] : cases) {
        AnswerWith([status](uint8_t command) {
            const uint8_t echo = status == kHwtCommandUnknown ? 0x99 : command;  // accepted whatever its echo
            return std::vector<Bytes>{EncodeHwtAnswer(echo, status, {sim::AnswerScalar(16)})};
        });
        const size_t before = Transmissions();
        EXPECT_EQ(client_.telegramm(0x0E, {}, 60), result) << text;
        EXPECT_EQ(Transmissions() - before, transmissions) << text;
        EXPECT_EQ(client_.DeviceStatus(), status) << text;
        EXPECT_EQ(Traced(text), static_cast<int>(transmissions)) << text;
        if (status <= kHwtDone) {
            EXPECT_EQ(client_.Field(0), 16) << text;
        }
    }
    EXPECT_EQ(client_.PcTimeoutRun(), 0u);
}

TEST_F(Telegramm, WrongEchoAndBadSumAreRepeatedUntilAGoodAnswer) {
    int answers = 0;
    AnswerWith([&answers](uint8_t command) {
        Bytes answer = EncodeHwtAnswer(++answers == 1 ? command + 1 : command, kHwtPass, {});
        if (answers == 2) answer.back() ^= 0xFF;
        return std::vector<Bytes>{answer};
    });
    EXPECT_EQ(client_.telegramm(0x0E, {Scalar(1)}, 60), 1);
    EXPECT_EQ(Transmissions(), 3u);
    EXPECT_EQ(Traced("TD_OVERLAPPED_CYCLE"), 1);
    EXPECT_EQ(Traced("TD_CHECKSUM_PC"), 1);
    EXPECT_EQ(Traced("Repeat Telegram"), 2);
    // Each transmission repeats the very same frame.
    EXPECT_EQ(peer_.Requests()[0], peer_.Requests()[2]);
}

TEST_F(Telegramm, SilenceCostsFourFullTimeoutsUntilTenInARowLeaveSingleTransmissions) {
    auto sent = [this] {
        const size_t before = Transmissions();
        client_.telegramm(0x0E, {}, 60);
        return Transmissions() - before;
    };
    EXPECT_EQ(sent(), 4u);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtTimeout));
    EXPECT_EQ(Traced("TD_TIMEOUT_PC"), 4);
    EXPECT_GE(line_.Clock().NowMs(), 4 * 61 + 3 * 5);
    EXPECT_LE(line_.Clock().NowMs(), 4 * 62 + 3 * 5);
    for (const size_t transmissions : {4u, 2u, 1u, 1u}) EXPECT_EQ(sent(), transmissions);
    // An answer ends the run.
    AnswerStatus(kHwtPass);
    EXPECT_EQ(sent(), 1u);
    EXPECT_EQ(client_.PcTimeoutRun(), 0u);
    AnswerWith([](uint8_t) { return std::vector<Bytes>{}; });
    EXPECT_EQ(sent(), 4u);
}

TEST_F(Telegramm, TimeoutZeroSendsWithoutListeningOversizedRequestsAreNotSentAndAttemptsAreLimited) {
    AnswerStatus(kHwtFail);
    EXPECT_EQ(client_.telegramm(0x3F, {Scalar(1)}, 0), 1);
    EXPECT_EQ(Transmissions(), 1u);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtTimeout));
    EXPECT_EQ(line_.Clock().NowMs(), 0);

    const Bytes big(0x10000, 0);
    EXPECT_EQ(client_.telegramm(0x18, {Scalar(0), Scalar(0), Block(big.data(), big.size())}, 2400), 0);
    EXPECT_EQ(Transmissions(), 1u);

    // The attempt limit bounds the transmissions; CheckHwt asks once and restores it.
    AnswerWith([](uint8_t) { return std::vector<Bytes>{}; });
    client_.SetAttemptLimit(2);
    client_.telegramm(0x0E, {}, 60);
    EXPECT_EQ(Transmissions(), 3u);
    client_.SetAttemptLimit(0);
    client_.telegramm(0x0E, {}, 60);
    EXPECT_EQ(Transmissions(), 4u);
    EXPECT_EQ(client_.CheckHwt(), 0);
    EXPECT_EQ(Transmissions(), 5u);
    EXPECT_EQ(peer_.Requests().back(), (Bytes{0x68, 0x02, 0x6F, 0x00, 0x6F}));
    EXPECT_EQ(client_.AttemptLimit(), 4u);
    ComClose(channel_);
    client_.SetAttemptLimit(2);
    EXPECT_THROW(client_.CheckHwt(), CComExeption);
    EXPECT_EQ(client_.AttemptLimit(), 4u);
}

TEST(CurrentClient, DestroyingClientsInAnyOrderLeavesTheNewestLivingOneCurrent) {
    CHwtV4Client application(-1);
    auto first = std::make_unique<CHwtV4Client>(-1);
    auto second = std::make_unique<CHwtV4Client>(-1);
    first.reset();
    EXPECT_EQ(CurrentHwtClient(), second.get());
    second.reset();
    EXPECT_EQ(CurrentHwtClient(), &application);
}

}  // namespace
}  // namespace testbay
