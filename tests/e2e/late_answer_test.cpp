#include <gtest/gtest.h>

#include "hwt/hwt_client.h"
#include "support/mixed_calls.h"
#include "support/relay_process.h"

namespace testbay {
namespace {

using test::MixedCalls;
using test::RelayChannel;
using test::RelayProcess;

// The relay answers 100 ms late, the window is 60 ms: answers to repeated
// transmissions keep arriving after their call has ended.
TEST(EndToEnd, LateAnswersNeverBecomeTheValueOfALaterCall) {
    RelayProcess relay({"--delay", "100"});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    ASSERT_EQ(client.FindBaudrate(), 0);
    MixedCalls calls(client);
    EXPECT_TRUE(calls.Prepare());
    const test::MixedCallTally tally = calls.Run(60);
    EXPECT_EQ(tally.foreignValues, 0) << "first: " << tally.firstForeign << ", true: " << tally.trueResults;
    EXPECT_GE(tally.trueResults, tally.calls * 9 / 10);
}

TEST(EndToEnd, MixedCallsAgainstAPromptRelayAllSucceedWithTheirOwnValues) {
    RelayProcess relay({});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    ASSERT_EQ(client.FindBaudrate(), 0);
    MixedCalls calls(client);
    ASSERT_TRUE(calls.Prepare());
    const test::MixedCallTally tally = calls.Run(200);
    EXPECT_EQ(tally.trueResults, tally.calls);
    EXPECT_EQ(tally.foreignValues, 0) << "first: " << tally.firstForeign;
}

}  // namespace
}  // namespace testbay
