#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "automation/automation_methods.h"
#include "automation/automation_server.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using nlohmann::json;

// A script's document on a relay that starts in the firmware of the parameter.
class LeaveHardwaretest : public ::testing::TestWithParam<uint32_t> {
protected:
    json Return(const std::string& method, json params = json::array()) {
        const json request{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        return json::parse(server_.HandleLine(request.dump()).value())["result"]["return"];
    }
    bool PortIsFree() {
        int channel = -1;
        if (!ComOpen(1, channel)) return false;
        ComClose(channel);
        return true;
    }

    sim::RelayModel relay_{sim::RelayConfig{.startState = GetParam()}};
    test::VirtualLineFixture line_{relay_};
    AutomationServer server_;
};

TEST_P(LeaveHardwaretest, RestartsTheRelayIntoTheFirmwareItWasFoundInAndClosesThePort) {
    ASSERT_EQ(Return("EnterHardwaretestAtPort", {"", 1}), true);
    line_.Line().ClearWrites();
    EXPECT_EQ(Return("leavehardwaretest"), true);
    const std::vector<int32_t> expected = GetParam() == kStateBootSystem ? std::vector<int32_t>{kResetIntoBootSystem}
                                          : GetParam() == kStateApplication
                                              ? std::vector<int32_t>{kResetIntoApplication}
                                              : std::vector<int32_t>{};
    EXPECT_EQ(test::ResetModesWritten(line_.Line()), expected);
    EXPECT_EQ(Return("IsActiv"), false);
    EXPECT_TRUE(PortIsFree());

    // Once left there is nothing more to leave.
    line_.Line().ClearWrites();
    EXPECT_EQ(Return("LeaveHardwaretest"), true);
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_P(LeaveHardwaretest, ExitHardwaretestStillLeavesTheRelayInTheHardwareTest) {
    ASSERT_EQ(Return("EnterHardwaretestAtPort", {"", 1}), true);
    line_.Line().ClearWrites();
    EXPECT_EQ(Return("ExitHardwaretest"), true);
    EXPECT_TRUE(line_.Line().Writes().empty());
    EXPECT_TRUE(PortIsFree());
}

INSTANTIATE_TEST_SUITE_P(EveryStartState, LeaveHardwaretest,
                         ::testing::Values(kStateBootSystem, kStateApplication, kStateHardwareTest));

TEST(LeaveHardwaretestEntry, AFailedEntrySendsNoRestartAndNoDispatchIdentifierMoves) {
    sim::RelayModel relay{sim::RelayConfig{.startState = kStateApplication}};
    test::VirtualLineFixture line{relay, sim::FaultConfig{.silent = true}};
    AutomationServer server;
    CTESTBAYDoc& document = server.Document();
    ASSERT_EQ(document.EnterHardwaretestAtPort(1), 0);
    line.Line().ClearWrites();
    EXPECT_EQ(document.LeaveHardwaretest(), 1);
    EXPECT_TRUE(test::ResetModesWritten(line.Line()).empty());

    // Appended after the methods that were there before it.
    const AutomationMethod* leave = FindAutomationMethod("LeaveHardwaretest");
    ASSERT_NE(leave, nullptr);
    EXPECT_EQ(DispIdOf(*leave), static_cast<int>(AutomationMethods().size()));
    EXPECT_GT(DispIdOf(*leave), DispIdOf(*FindAutomationMethod("GetCpuId")));
    EXPECT_TRUE(leave->params.empty());
    EXPECT_EQ(leave->returns, ReturnType::Bool);
}

}  // namespace
}  // namespace testbay
