#include <gtest/gtest.h>

#include "app/frame_connection.h"
#include "comm/channel.h"
#include "device/vdew_client.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "support/relay_process.h"

namespace testbay {
namespace {

using test::RelayChannel;
using test::RelayProcess;

// The relay reads a request with the settings the port has when it gets to
// it, and opening the port flushes what it has not read yet: the port stays
// closed for a while after the sheet has gone.
constexpr int kPortRestMs = 500;
// The application takes its time to restart; a probe that starts too early
// may miss it once.
constexpr int kProbeRounds = 3;

TEST(RelayRestart, ClosingTheLastSheetReturnsARelayFoundInItsApplication) {
    RelayProcess relay({"--state", "app"});
    ASSERT_FALSE(relay.Device().empty());
    {
        FrameConnection connection;
        ASSERT_EQ(connection.EnsureConnected().result, 1);
        ASSERT_EQ(connection.PreviousDeviceState(), kStateApplication);
        const int sheet = 1;
        connection.RegisterTestWindow(&sheet);
        ASSERT_TRUE(connection.ReleaseTestWindow(&sheet));
    }
    ProcessClock().SleepMs(kPortRestMs);
    RelayChannel channel;
    ASSERT_GE(channel.Index(), 0);
    bool answered = false;
    for (int round = 0; round < kProbeRounds && !answered; ++round) {
        CVDEWClient vdew(channel.Index());
        answered = vdew.ConnectV4(0, nullptr) == 0;
    }
    EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace testbay
