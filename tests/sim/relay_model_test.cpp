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
const Bytes kLedCountAnswer{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x20};
constexpr LineProtocol kHwt = LineProtocol::HardwareTest;

std::vector<Bytes> Send(RelayModel& relay, const Bytes& bytes, LineSettings pcSide = kRelayLine) {
    return relay.Receive(bytes.data(), bytes.size(), pcSide);
}

TEST(RelayModel, AnswersOnlyAtItsOwnRateAndParityEveryWholeRequestAndBadOnesWithTheirStatus) {
    RelayModel relay(kRelayLine);
    EXPECT_TRUE(Send(relay, kLedCountRequest, {57600, kParityNone, kStopOne}).empty());
    EXPECT_TRUE(Send(relay, kLedCountRequest, {38400, kParityEven, kStopOne}).empty());
    EXPECT_EQ(Send(relay, kLedCountRequest), std::vector<Bytes>{kLedCountAnswer});
    // Split over reads and back to back.
    EXPECT_TRUE(Send(relay, {0x68, 0x02}).empty());
    EXPECT_EQ(Send(relay, {0x0E, 0x00, 0x0E, 0x68, 0x02, 0x0E, 0x00, 0x0E}).size(), 2u);

    auto answers = Send(relay, {0x68, 0x02, 0x0E, 0x00, 0x0F});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0][3], kHwtChecksumError);
    answers = Send(relay, {0x68, 0x02, 0x77, 0x00, 0x77});
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0][2], 0x77);
    EXPECT_EQ(answers[0][3], kHwtCommandUnknown);
    // Long-form requests are checked by their CRC.
    const Bytes data(300, 0x11);
    const HwtField fields[] = {Scalar(0), Scalar(0), Block(data.data(), data.size())};
    Bytes frame;
    ASSERT_TRUE(EncodeHwtRequest(0xA7, fields, frame));
    EXPECT_EQ(Send(relay, frame)[0][3], kHwtCommandUnknown);
    frame[100] ^= 1;
    EXPECT_EQ(Send(relay, frame)[0][3], kHwtChecksumError);
}

TEST(RelayModel, WithAnyParityStillChecksTheRate) {
    RelayModel relay(RelayConfig{.hardwareTestLine = {38400, kParityOdd, kStopOne}, .anyParity = true});
    for (const int parity : {kParityNone, kParityOdd, kParityEven, kParityMark, kParitySpace}) {
        EXPECT_EQ(Send(relay, kLedCountRequest, {38400, parity, kStopOne}), std::vector<Bytes>{kLedCountAnswer})
            << "parity " << parity;
    }
    EXPECT_TRUE(Send(relay, kLedCountRequest, {57600, kParityOdd, kStopOne}).empty());
    // A request split over a rate change is garbage, whatever the parity.
    EXPECT_TRUE(Send(relay, {0x68, 0x02}, {38400, kParityEven, kStopOne}).empty());
    EXPECT_TRUE(Send(relay, {0x0E}, {9600, kParityEven, kStopOne}).empty());
    EXPECT_TRUE(Send(relay, {0x00, 0x0E}, {38400, kParityEven, kStopOne}).empty());
}

TEST(FaultInjector, DropsCorruptsAndMisechoesTheNthAnswersAndNoiseNeverStartsAFrame) {
    FaultInjector drop(FaultConfig{.dropEvery = 2});
    EXPECT_EQ(drop.Apply(kLedCountAnswer, kHwt), kLedCountAnswer);
    EXPECT_TRUE(drop.Apply(kLedCountAnswer, kHwt).empty());
    FaultInjector corrupt(FaultConfig{.corruptEvery = 1});
    EXPECT_NE(corrupt.Apply(kLedCountAnswer, kHwt).back(), kLedCountAnswer.back());
    FaultInjector echo(FaultConfig{.wrongEchoEvery = 1});
    const Bytes misechoed = echo.Apply(kLedCountAnswer, kHwt);
    EXPECT_EQ(misechoed[2], 0x0F);
    EXPECT_EQ(misechoed.back(), 0x21);  // the sum still matches

    FaultInjector noise(FaultConfig{.noiseBytes = 5000});
    const Bytes sent = noise.Apply(kLedCountRequest, kHwt);
    ASSERT_EQ(sent.size(), 5005u);
    EXPECT_EQ(std::count(sent.begin(), sent.end() - 5, 0x68), 0);
    EXPECT_TRUE(std::equal(kLedCountRequest.begin(), kLedCountRequest.end(), sent.end() - 5));
}

}  // namespace
}  // namespace testbay::sim
