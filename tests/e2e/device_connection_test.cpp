#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "comm/channel.h"
#include "device/enter_hardwaretest.h"
#include "hwt/hwt_client.h"
#include "support/relay_process.h"

namespace testbay {
namespace {

using test::RelayChannel;
using test::RelayProcess;

struct StartState {
    const char* option;
    uint32_t state;
};

class EnterFromState : public ::testing::TestWithParam<StartState> {};

TEST_P(EnterFromState, RelayReachesTheHardwareTestAndTheStartStateIsRecorded) {
    RelayProcess relay({"--state", GetParam().option});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(EnterHardwaretest(client), 1);
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("EnterHardwaretest from %s: %.2f s\n", GetParam().option, elapsed);
    EXPECT_EQ(client.KnownDeviceState(), GetParam().state);
    int32_t count = 0;
    EXPECT_EQ(client.GetLedCount(count), 1);
}

INSTANTIATE_TEST_SUITE_P(States, EnterFromState,
                         ::testing::Values(StartState{"boot", 1}, StartState{"app", 2}, StartState{"hwt", 3}),
                         [](const auto& info) { return std::string(info.param.option); });

TEST(OldFirmwareEndToEnd, OrderNumberGoesThroughTheBootSystemAndTheRelayComesBack) {
    RelayProcess relay({"--old-firmware"});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    ASSERT_EQ(EnterHardwaretest(client), 1);
    EXPECT_EQ(client.SetMLFB("QR8012-4TB00-1MA0"), 1);
    ASSERT_EQ(EnterHardwaretest(client), 1);
    EXPECT_EQ(client.KnownDeviceState(), 3u);
    std::string mlfb;
    EXPECT_EQ(client.GetMLFB(mlfb), 1);
    EXPECT_EQ(mlfb, "QR8012-4TB00-1MA0");
}

}  // namespace
}  // namespace testbay
