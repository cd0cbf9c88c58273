#include <gtest/gtest.h>

#include <memory>

#include "hwt/hwt_client.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::CountOf;
using test::ScriptedPeer;
using test::VirtualLineFixture;

Bytes Answer(uint8_t echo, uint8_t status, Bytes fields = {}, uint8_t typeByte = 0) {
    Bytes frame{0x68, static_cast<uint8_t>(3 + fields.size()), echo, status, typeByte};
    for (const uint8_t byte : fields) frame.push_back(byte);
    uint8_t sum = 0;
    for (size_t index = 2; index < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
    frame.push_back(sum);
    return frame;
}

class Telegramm : public ::testing::Test {
protected:
    // Every request gets the answers `make` builds from its command byte.
    void AnswerWith(std::function<std::vector<Bytes>(uint8_t command)> make) {
        peer_.SetScript([make](const Bytes& request) { return make(request[2]); });
    }
    size_t Transmissions() const { return peer_.Requests().size(); }

    ScriptedPeer peer_;
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(Telegramm, PassAndDoneSucceedFailDoesNotAndNoneRepeats) {
    for (const uint8_t status : {kHwtPass, kHwtDone, kHwtFail}) {
        AnswerWith([status](uint8_t command) { return std::vector<Bytes>{Answer(command, status, {0x10}, 0x01)}; });
        const size_t before = Transmissions();
        EXPECT_EQ(client_.telegramm(0x0E, {}, 60), status == kHwtFail ? 0 : 1);
        EXPECT_EQ(Transmissions() - before, 1u);
        EXPECT_EQ(client_.DeviceStatus(), status);
        EXPECT_EQ(client_.Field(0), 16);
    }
    const std::string trace = line_.Trace();
    EXPECT_EQ(CountOf(trace, "PASS in CHwtV4Client::telegramm\n"), 1);
    EXPECT_EQ(CountOf(trace, "DONE in CHwtV4Client::telegramm\n"), 1);
    EXPECT_EQ(CountOf(trace, "FAIL in CHwtV4Client::telegramm\n"), 1);
}

TEST_F(Telegramm, CommandUnknownIsAcceptedWhateverItsEcho) {
    AnswerWith([](uint8_t) { return std::vector<Bytes>{Answer(0x99, kHwtCommandUnknown)}; });
    EXPECT_EQ(client_.telegramm(0x0E, {}, 60), 0);
    EXPECT_EQ(Transmissions(), 1u);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtCommandUnknown));
    EXPECT_NE(line_.Trace().find("BEFEHL_UNBEKANNT in CHwtV4Client::telegramm"), std::string::npos);
}

TEST_F(Telegramm, RelaySideErrorsAreRepeatedUpToFourTransmissions) {
    const std::pair<uint8_t, const char*> cases[] = {
        {kHwtTimeout, "TIMEOUT in CHwtV4Client::telegramm"},
        {kHwtChecksumError, "CKS_ERROR in CHwtV4Client::telegramm"},
        {7, "unbekannter Ausfuehrunsstatus in CHwtV4Client::telegramm"},
    };
    for (const auto& [status, text] : cases) {
        AnswerWith([status](uint8_t command) { return std::vector<Bytes>{Answer(command, status)}; });
        const size_t before = Transmissions();
        EXPECT_EQ(client_.telegramm(0x0E, {}, 60), 0);
        EXPECT_EQ(Transmissions() - before, 4u);
        EXPECT_EQ(client_.DeviceStatus(), status);
        EXPECT_EQ(CountOf(line_.Trace(), std::string(text) + "\n"), 4) << text;
    }
    EXPECT_EQ(client_.PcTimeoutRun(), 0u);
}

TEST_F(Telegramm, WrongEchoAndBadSumAreRepeatedUntilAGoodAnswer) {
    int answers = 0;
    AnswerWith([&answers](uint8_t command) {
        ++answers;
        if (answers == 1) return std::vector<Bytes>{Answer(command + 1, kHwtPass)};
        Bytes answer = Answer(command, kHwtPass);
        if (answers == 2) answer.back() ^= 0xFF;
        return std::vector<Bytes>{answer};
    });
    EXPECT_EQ(client_.telegramm(0x0E, {Scalar(1)}, 60), 1);
    EXPECT_EQ(Transmissions(), 3u);
    const std::string trace = line_.Trace();
    EXPECT_EQ(CountOf(trace, "TD_OVERLAPPED_CYCLE in CHwtV4Client::telegramm\n"), 1);
    EXPECT_EQ(CountOf(trace, "TD_CHECKSUM_PC in CHwtV4Client::telegramm\n"), 1);
    EXPECT_EQ(CountOf(trace, "Repeat Telegram in CHwtV4Client::telegramm\n"), 2);
    // Each transmission repeats the very same frame.
    EXPECT_EQ(peer_.Requests()[0], peer_.Requests()[2]);
}

TEST_F(Telegramm, SilenceCostsFourFullTimeoutsWithShortPauses) {
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(client_.telegramm(0x0E, {}, 60), 0);
    EXPECT_EQ(Transmissions(), 4u);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtTimeout));
    EXPECT_EQ(CountOf(line_.Trace(), "TD_TIMEOUT_PC in CHwtV4Client::telegramm\n"), 4);
    const int64_t elapsed = line_.Clock().NowMs() - start;
    EXPECT_GE(elapsed, 4 * 61 + 3 * 5);
    EXPECT_LE(elapsed, 4 * 62 + 3 * 5);
}

TEST_F(Telegramm, TenTimeoutsInARowLeaveSingleTransmissionsUntilAnAnswer) {
    const size_t expected[] = {4, 4, 2, 1, 1};
    for (const size_t transmissions : expected) {
        const size_t before = Transmissions();
        client_.telegramm(0x0E, {}, 60);
        EXPECT_EQ(Transmissions() - before, transmissions);
    }
    AnswerWith([](uint8_t command) { return std::vector<Bytes>{Answer(command, kHwtPass)}; });
    EXPECT_EQ(client_.telegramm(0x0E, {}, 60), 1);
    EXPECT_EQ(client_.PcTimeoutRun(), 0u);
    AnswerWith([](uint8_t) { return std::vector<Bytes>{}; });
    const size_t before = Transmissions();
    client_.telegramm(0x0E, {}, 60);
    EXPECT_EQ(Transmissions() - before, 4u);
}

TEST_F(Telegramm, TimeoutZeroSendsWithoutListening) {
    AnswerWith([](uint8_t command) { return std::vector<Bytes>{Answer(command, kHwtFail)}; });
    EXPECT_EQ(client_.telegramm(0x3F, {Scalar(1)}, 0), 1);
    EXPECT_EQ(Transmissions(), 1u);
    EXPECT_EQ(client_.DeviceStatus(), static_cast<uint32_t>(kHwtTimeout));
    EXPECT_EQ(line_.Clock().NowMs(), 0);
}

TEST_F(Telegramm, AttemptLimitBoundsTransmissions) {
    client_.SetAttemptLimit(2);
    client_.telegramm(0x0E, {}, 60);
    EXPECT_EQ(Transmissions(), 2u);
    client_.SetAttemptLimit(0);
    client_.telegramm(0x0E, {}, 60);
    EXPECT_EQ(Transmissions(), 3u);
}

TEST_F(Telegramm, CheckHwtAsksOnceAndRestoresTheLimit) {
    EXPECT_EQ(client_.CheckHwt(), 0);
    EXPECT_EQ(Transmissions(), 1u);
    EXPECT_EQ(peer_.Requests()[0], (Bytes{0x68, 0x02, 0x6F, 0x00, 0x6F}));
    EXPECT_EQ(client_.AttemptLimit(), 4u);
}

TEST_F(Telegramm, ClosedChannelThrowsAndTheLimitStillComesBack) {
    ComClose(channel_);
    EXPECT_THROW(client_.CheckHwt(), CComExeption);
    EXPECT_EQ(client_.AttemptLimit(), 4u);
}

TEST_F(Telegramm, OversizedRequestIsRefusedWithoutSending) {
    const Bytes big(0x10000, 0);
    EXPECT_EQ(client_.telegramm(0x18, {Scalar(0), Scalar(0), Block(big.data(), big.size())}, 2400), 0);
    EXPECT_EQ(Transmissions(), 0u);
}

TEST(CurrentClient, DestroyingTheCurrentClientRestoresThePreviousOne) {
    CHwtV4Client application(-1);
    EXPECT_EQ(CurrentHwtClient(), &application);
    {
        CHwtV4Client probe(-1);
        EXPECT_EQ(CurrentHwtClient(), &probe);
    }
    EXPECT_EQ(CurrentHwtClient(), &application);

    auto first = std::make_unique<CHwtV4Client>(-1);
    auto second = std::make_unique<CHwtV4Client>(-1);
    first.reset();
    EXPECT_EQ(CurrentHwtClient(), second.get());
    second.reset();
    EXPECT_EQ(CurrentHwtClient(), &application);
}

}  // namespace
}  // namespace testbay

namespace testbay {
namespace {

TEST(SetLedsWithoutAnswer, DoesNotWalkAStaleCount) {
    test::ScriptedPeer peer([](const test::Bytes& request) {
        // Answers the first LED count with 200, then nothing ever again.
        static bool answered = false;
        if (answered || request[2] != 0x0E) return std::vector<test::Bytes>{};
        answered = true;
        return std::vector<test::Bytes>{{0x68, 0x07, 0x0E, 0x01, 0x02, 0x00, 0x00, 0x00, 0xC8, 0xD9}};
    });
    test::VirtualLineFixture line(peer);
    CHwtV4Client client(line.OpenChannel());
    int32_t count = 0;
    ASSERT_EQ(client.GetLedCount(count), 1);
    ASSERT_EQ(count, 200);
    EXPECT_EQ(client.SetLeds(1), 0);
    EXPECT_EQ(peer.Requests().size(), 1u + 4u);
}

}  // namespace
}  // namespace testbay
