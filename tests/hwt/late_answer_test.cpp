#include <gtest/gtest.h>

#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/mixed_calls.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using sim::EncodeHwtAnswer;
using test::Bytes;
using test::CountOf;
using test::MixedCalls;

// The window is 60 ms; this relay answers every request 100 ms late.
constexpr uint32_t kLateMs = 100;

TEST(LateAnswers, NeverBecomeTheValueOfALaterCall) {
    test::HwtRelayRig rig;
    MixedCalls calls(rig.client);
    ASSERT_TRUE(calls.Prepare());
    const test::MixedCallTally prompt = calls.Run(1000);
    EXPECT_EQ(prompt.trueResults, prompt.calls);
    EXPECT_EQ(prompt.foreignValues, 0) << prompt.firstForeign;
    EXPECT_FALSE(rig.line.Traced("discarded"));

    rig.line.Line().SetFaults({.delayMs = kLateMs});
    const test::MixedCallTally late = calls.Run(1000);
    EXPECT_EQ(late.foreignValues, 0) << "first: " << late.firstForeign;
    // The late answers are waited out, not lost: every call still succeeds.
    EXPECT_EQ(late.trueResults, late.calls);
}

class LateAnswerDrain : public ::testing::Test {
protected:
    // Every request of the LED command is answered PASS with the value
    // `value` returns for its number (from 1).
    void AnswerLed(std::function<int32_t(size_t request)> value) {
        peer_.SetScript([this, value](const Bytes& request) {
            return std::vector<Bytes>{
                EncodeHwtAnswer(request[2], kHwtPass, {sim::AnswerScalar(value(peer_.Requests().size()))})};
        });
    }
    int Dropped() const { return CountOf(line_.Trace(), "Late answer discarded in CHwtV4Client::telegramm\n"); }

    test::ScriptedPeer peer_;
    test::VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(LateAnswerDrain, TheCallAfterATimeOutWaitsUntilTheLineIsQuietAndTracesWhatItDropped) {
    // The first call makes two transmissions: the answer to the first ends
    // it, the answer to the second (another LED's value, 7) is still on its
    // way when the next call of the same command waits.
    line_.Line().SetAnswerDelayMs(kLateMs);
    AnswerLed([](size_t request) { return request == 1 ? 1 : request == 2 ? 7 : 0; });
    int32_t on = -1;
    EXPECT_EQ(client_.GetLed(1, on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(peer_.Requests().size(), 2u);
    EXPECT_EQ(client_.GetLed(2, on), 1);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(client_.Field(0), 0);
    // Dropped and traced as such, never taken as an answer.
    EXPECT_EQ(Dropped(), 1);
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find("!68 04 0E 01 01 07"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("<68 04 0E 01 01 07"), std::string::npos) << trace;
}

TEST_F(LateAnswerDrain, AnAnswerOfAnotherRequestInPlaceOfOursAlsoLeavesOursOwed) {
    // The first transmission gets another command's answer, the repeat its
    // own; the first one's own answer (7) comes 30 ms after the call.
    peer_.SetScript([this](const Bytes& request) {
        const bool first = peer_.Requests().size() == 1;
        return std::vector<Bytes>{EncodeHwtAnswer(static_cast<uint8_t>(first ? request[2] + 1 : request[2]), kHwtPass,
                                                  {sim::AnswerScalar(first ? 0 : 1)})};
    });
    int32_t on = -1;
    EXPECT_EQ(client_.GetLed(1, on), 1);
    EXPECT_EQ(on, 1);
    line_.Line().InjectAt(line_.Clock().NowMs() + 30, EncodeHwtAnswer(0x0E, kHwtPass, {sim::AnswerScalar(7)}));

    line_.Line().SetAnswerDelayMs(50);
    AnswerLed([](size_t) { return 0; });
    EXPECT_EQ(client_.GetLed(2, on), 1);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(Dropped(), 1);
}

TEST_F(LateAnswerDrain, ACleanLineCostsNoTimeAndRepeatsInsideACallStayAsTheyWere) {
    AnswerLed([](size_t) { return 1; });
    int32_t on = 0;
    for (int call = 0; call < 20; ++call) ASSERT_EQ(client_.GetLed(1, on), 1);
    EXPECT_LT(line_.Clock().NowMs(), 20 * 3);

    // A relay that does not answer: four transmissions as always, each with
    // its full window; nothing came, so nothing is traced as dropped.
    peer_.SetScript({});
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(client_.GetLed(1, on), 0);
    EXPECT_EQ(peer_.Requests().size(), 24u);
    const int64_t silentCall = line_.Clock().NowMs() - start;
    EXPECT_GE(silentCall, 4 * 60);
    EXPECT_LT(silentCall, 4 * 70);

    // Only the first call after the time-out waits for a quiet line.
    AnswerLed([](size_t) { return 1; });
    EXPECT_EQ(client_.GetLed(1, on), 1);
    EXPECT_EQ(peer_.Requests().size(), 25u);
    const int64_t drained = line_.Clock().NowMs();
    EXPECT_EQ(client_.GetLed(1, on), 1);
    EXPECT_LT(line_.Clock().NowMs() - drained, 5);
    EXPECT_EQ(Dropped(), 0);
}

TEST_F(LateAnswerDrain, ALineThatNeverFallsQuietStillLetsTheCallEnd) {
    peer_.SetScript({});
    int32_t on = 0;
    EXPECT_EQ(client_.GetLed(1, on), 0);
    // Noise every 5 ms for 20 s, none of it a frame.
    const int64_t now = line_.Clock().NowMs();
    for (int64_t at = now; at < now + 20000; at += 5) line_.Line().InjectAt(at, {0x55});
    EXPECT_EQ(client_.GetLed(1, on), 0);
    EXPECT_LT(line_.Clock().NowMs() - now, 15000);
    EXPECT_EQ(Dropped(), 1);
}

}  // namespace
}  // namespace testbay
