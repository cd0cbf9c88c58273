#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/frame_connection.h"
#include "comm/channel.h"
#include "comm/trace.h"
#include "device/vdew_client.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "support/relay_process.h"
#include "support/temp_dir.h"

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
    bool answered = false;
    for (int round = 0; round < kProbeRounds && !answered; ++round) {
        CVDEWClient vdew(channel.Index());
        answered = vdew.ConnectV4(0, nullptr) == 0;
    }
    EXPECT_TRUE(answered);
}

TEST(RelayRestart, AWriteAnsweredDoneIsSentOnceMore) {
    RelayProcess relay({"--write-done"});
    LogOpen("LOG.TXT");
    {
        RelayChannel channel;
        CHwtV4Client client(channel.Index());
        ASSERT_EQ(client.FindBaudrate(), 0);
        const std::vector<uint8_t> data{0x12, 0x34, 0x56, 0x78};
        EXPECT_EQ(client.WriteMemory(1, 0x00800000, data), 1);
        EXPECT_EQ(client.DeviceStatus(), kHwtDone);
    }
    LogClose();
    const std::string log = test::ReadWholeFile(relay.Dir().File("LOG.TXT"));
    // Each once: a second write and no third.
    for (const std::string line : {"Repeat Flash-Write", "CHwtV4Client::WriteMemory Versuch # 1"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
        EXPECT_EQ(log.find(line), log.rfind(line)) << line;
    }
}

}  // namespace
}  // namespace testbay
