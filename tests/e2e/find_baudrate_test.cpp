#include <gtest/gtest.h>

#include <string>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "support/relay_process.h"

namespace testbay {
namespace {

using test::RelayChannel;
using test::RelayProcess;

class FindBaudrateAt : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FindBaudrateAt, FindsTheRelayAfterTheLowerRates) {
    RelayProcess relay({"--baud", std::to_string(GetParam()), "--cpu", "PBX1"});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    EXPECT_EQ(client.FindBaudrate(), 0);
    EXPECT_EQ(ComGetBaud(channel.Index()), GetParam());
    std::string cpu;
    EXPECT_EQ(client.GetCPU(cpu), 1);
    EXPECT_EQ(cpu, "PBX1");
}

INSTANTIATE_TEST_SUITE_P(Rates, FindBaudrateAt, ::testing::Values(115200u, 153600u));

TEST(EndToEnd, BaudrateChangeMovesBothSides) {
    RelayProcess relay({"--cpu", "MBX2"});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    ASSERT_EQ(client.FindBaudrate(), 0);
    EXPECT_EQ(client.SetBaudrate(0, 0), 1);
    EXPECT_EQ(ComGetBaud(channel.Index()), 153600u);
    EXPECT_EQ(client.CheckHwt(), 1);
    EXPECT_EQ(client.ReduceBaudrate(), 1);
    EXPECT_EQ(ComGetBaud(channel.Index()), 115200u);
    EXPECT_EQ(client.CheckHwt(), 1);
}

}  // namespace
}  // namespace testbay
