#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "hwt/hwt_client.h"
#include "hwt/hwt_request.h"
#include "sim/fault_injector.h"
#include "sim/relay_model.h"

namespace testbay::sim {
namespace {

using Bytes = std::vector<uint8_t>;

const LineSettings kRelayLine{38400, kParityNone, kStopOne};
const Bytes kLedCountRequest{0x68, 0x02, 0x0E, 0x00, 0x0E};

std::vector<Bytes> Send(RelayModel& relay, const Bytes& bytes, LineSettings pcSide = kRelayLine) {
    return relay.Receive(bytes.data(), bytes.size(), pcSide);
}

TEST(RelayModel, AnswersOnlyAtItsOwnRateAndParity) {
    RelayModel relay(kRelayLine);
    EXPECT_TRUE(Send(relay, kLedCountRequest, {57600, kParityNone, kStopOne}).empty());
    EXPECT_TRUE(Send(relay, kLedCountRequest, {38400, kParityEven, kStopOne}).empty());
    const auto answers = Send(relay, kLedCountRequest);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], (Bytes{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x20}));
}

TEST(RelayModel, RequestsSplitOverReadsAndBackToBackAreAllAnswered) {
    RelayModel relay(kRelayLine);
    EXPECT_TRUE(Send(relay, {0x68, 0x02}).empty());
    Bytes rest{0x0E, 0x00, 0x0E};
    rest.insert(rest.end(), kLedCountRequest.begin(), kLedCountRequest.end());
    EXPECT_EQ(Send(relay, rest).size(), 2u);
}

TEST(RelayModel, BadSumGetsChecksumErrorAndUnknownCodesStatus3) {
    RelayModel relay(kRelayLine);
    auto answers = Send(relay, {0x68, 0x02, 0x0E, 0x00, 0x0F});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0][3], kHwtChecksumError);
    answers = Send(relay, {0x68, 0x02, 0x77, 0x00, 0x77});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0][2], 0x77);
    EXPECT_EQ(answers[0][3], kHwtCommandUnknown);
}

TEST(RelayModel, LongFormRequestsAreCheckedByTheirCrc) {
    RelayModel relay(kRelayLine);
    const Bytes data(300, 0x11);
    const HwtField fields[] = {Scalar(0), Scalar(0), Block(data.data(), data.size())};
    Bytes frame;
    ASSERT_TRUE(EncodeHwtRequest(0xA7, fields, frame));
    EXPECT_EQ(Send(relay, frame)[0][3], kHwtCommandUnknown);
    frame[100] ^= 1;
    EXPECT_EQ(Send(relay, frame)[0][3], kHwtChecksumError);
}

TEST(RelayModel, BaudrateChangeAnswersAtTheOldRateThenMoves) {
    RelayModel relay(kRelayLine);
    const HwtField fields[] = {Scalar(0), Scalar(115200)};
    Bytes change;
    ASSERT_TRUE(EncodeHwtRequest(0x2B, fields, change));
    // The LED request behind it in the same chunk went out at the old rate.
    Bytes both = change;
    both.insert(both.end(), kLedCountRequest.begin(), kLedCountRequest.end());
    EXPECT_EQ(Send(relay, both).size(), 1u);
    EXPECT_EQ(relay.Line().baud, 115200u);
    EXPECT_TRUE(Send(relay, kLedCountRequest).empty());
    EXPECT_EQ(Send(relay, kLedCountRequest, {115200, kParityNone, kStopOne}).size(), 1u);
}

TEST(FaultInjector, DropsCorruptsAndMisechoesTheNthAnswers) {
    const Bytes answer{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x20};
    FaultInjector drop(FaultConfig{.dropEvery = 2});
    EXPECT_EQ(drop.Apply(answer), answer);
    EXPECT_TRUE(drop.Apply(answer).empty());

    FaultInjector corrupt(FaultConfig{.corruptEvery = 1});
    const Bytes corrupted = corrupt.Apply(answer);
    EXPECT_NE(corrupted.back(), answer.back());

    FaultInjector echo(FaultConfig{.wrongEchoEvery = 1});
    const Bytes misechoed = echo.Apply(answer);
    EXPECT_EQ(misechoed[2], 0x0F);
    EXPECT_EQ(misechoed.back(), 0x21);  // the sum still matches
}

TEST(FaultInjector, NoiseNeverStartsAFrame) {
    FaultInjector noise(FaultConfig{.noiseBytes = 5000});
    const Bytes answer{0x68, 0x02, 0x0E, 0x00, 0x0E};
    const Bytes sent = noise.Apply(answer);
    ASSERT_EQ(sent.size(), 5005u);
    EXPECT_EQ(std::count(sent.begin(), sent.end() - 5, 0x68), 0);
    EXPECT_TRUE(std::equal(answer.begin(), answer.end(), sent.end() - 5));
}

}  // namespace
}  // namespace testbay::sim
