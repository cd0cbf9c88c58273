// A stop request ends the running automation call in virtual time: the call
// fails with a reply that says why, within one answer window of the stop,
// and nothing more goes out on the line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "automation/automation_server.h"
#include "platform/stop_request.h"
#include "protocol/hwt_commands.h"
#include "support/answer_table.h"

namespace testbay {
namespace {

using nlohmann::json;
using test::Bytes;

constexpr int64_t kWithinMs = 100;
constexpr int kInternalError = -32603;

class StoppedCall : public ::testing::Test {
protected:
    void SetUp() override { WithdrawStopRequest(); }
    void TearDown() override { WithdrawStopRequest(); }

    json Call(const std::string& method, json params = json::array()) {
        const json request{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        const auto reply = server_->HandleLine(request.dump());
        return reply ? json::parse(*reply) : json();
    }
    void ExpectStopped(const json& reply) {
        EXPECT_EQ(reply["error"]["code"], kInternalError) << reply.dump();
        EXPECT_NE(reply["error"]["message"].get<std::string>().find("stopped"), std::string::npos) << reply.dump();
    }
    // The stop comes with the relay's receiving this request.
    void StopAt(test::VirtualLineFixture& line) {
        stopAtMs_ = line.Clock().NowMs();
        RequestStop();
    }

    int64_t stopAtMs_ = -1;
    std::unique_ptr<AutomationServer> server_ = std::make_unique<AutomationServer>();
    // As the server's loop runs its calls.
    StopEndsCalls stopEndsCalls_;
};

TEST_F(StoppedCall, ASleepOfTwentyFourDaysEndsAtOnce) {
    VirtualClock clock;
    ScopedClock scope(clock);
    RequestStop();
    ExpectStopped(Call("Sleep", {2147483647}));
    EXPECT_LT(clock.NowMs(), kWithinMs);
    // Also inside a batch: every call that would wait ends so.
    const auto batch = server_->HandleLine(R"([{"jsonrpc":"2.0","id":1,"method":"Sleep","params":[60000]},)"
                                           R"({"jsonrpc":"2.0","id":2,"method":"GetTestbayVersion"}])");
    ASSERT_TRUE(batch);
    const json replies = json::parse(*batch);
    ExpectStopped(replies[0]);
    EXPECT_TRUE(replies[1].contains("result"));
    EXPECT_LT(clock.NowMs(), kWithinMs);
}

TEST_F(StoppedCall, TheStateSearchOfARelayThatNeverAnswersEndsWithinAWindow) {
    constexpr size_t kStopAtRequest = 5;
    test::ScriptedPeer silent;
    test::VirtualLineFixture line(silent);
    silent.SetScript([&](const Bytes&) {
        if (silent.Requests().size() == kStopAtRequest) StopAt(line);
        return std::vector<Bytes>{};
    });
    ExpectStopped(Call("EnterHardwaretestAtPort", {"", 1}));
    ASSERT_GE(stopAtMs_, 0);
    EXPECT_LE(line.Clock().NowMs() - stopAtMs_, kWithinMs);
    EXPECT_EQ(silent.Requests().size(), kStopAtRequest);
    // The document lets go of the port: a new one opens it again.
    server_.reset();
    EXPECT_GE(line.OpenChannel(), 0);
}

TEST_F(StoppedCall, AnExchangeEndsWithoutItsRepeats) {
    test::AnswerTable firmware;
    ASSERT_EQ(Call("EnterHardwaretestAtPort", {"", 1})["result"]["return"], true);
    int sent = 0;
    firmware.answers[kChannelValueCommand] = [&](const Bytes&) {
        if (++sent == 1) StopAt(firmware.line);
        return Bytes{};
    };
    ExpectStopped(Call("GetAverageChannelValue", {1}));
    EXPECT_EQ(sent, 1);
    EXPECT_LE(firmware.line.Clock().NowMs() - stopAtMs_, kWithinMs);
    // The document closes its port while the line is still there.
    server_.reset();
}

}  // namespace
}  // namespace testbay
