#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hwt/hwt_client.h"
#include "support/mixed_calls.h"
#include "support/relay_process.h"

namespace testbay {
namespace {

// Mixed calls against a fresh relay started with `options`, at the rate it was found at.
test::MixedCallTally RunMixedCalls(const std::vector<std::string>& options, int count) {
    test::RelayProcess relay(options);
    test::RelayChannel channel;
    CHwtV4Client client(channel.Index());
    EXPECT_EQ(client.FindBaudrate(), 0);
    test::MixedCalls calls(client);
    EXPECT_TRUE(calls.Prepare());
    return calls.Run(count);
}

// The relay answers 100 ms late, the window is 60 ms: answers to repeated
// transmissions keep arriving after their call has ended.
TEST(EndToEnd, LateAnswersNeverBecomeTheValueOfALaterCall) {
    const test::MixedCallTally tally = RunMixedCalls({"--delay", "100"}, 60);
    EXPECT_EQ(tally.foreignValues, 0) << "first: " << tally.firstForeign << ", true: " << tally.trueResults;
    EXPECT_GE(tally.trueResults, tally.calls * 9 / 10);
}

TEST(EndToEnd, MixedCallsAgainstAPromptRelayAllSucceedWithTheirOwnValues) {
    const test::MixedCallTally tally = RunMixedCalls({}, 200);
    EXPECT_EQ(tally.trueResults, tally.calls);
    EXPECT_EQ(tally.foreignValues, 0) << "first: " << tally.firstForeign;
}

}  // namespace
}  // namespace testbay
