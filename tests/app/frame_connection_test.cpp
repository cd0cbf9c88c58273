#include <gtest/gtest.h>

#include "app/directories.h"
#include "app/frame_connection.h"
#include "app/settings.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::TempDir;
using test::VirtualLineFixture;

constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr uint8_t kResetCommand = 0x3F;

// The line takes one port at a time: it opens only when nobody holds it.
bool PortIsFree() {
    int channel = -1;
    if (!ComOpen(1, channel)) return false;
    ComClose(channel);
    return true;
}

void StorePosition(const WindowRect& rect) { ASSERT_NE(StoreFramePosition(rect), 0); }

TEST(FrameGeometryTest, StoredPositionIsUsedOnlyWhenItFitsTheScreen) {
    TempDir dir;
    SetConfigDirectory(dir.Path());
    const FrameGeometry bar{0, 0, kScreenWidth, kDefaultBarHeight};
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);

    StorePosition({100, 50, 700, 250});
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), (FrameGeometry{100, 50, 600, 200}));

    StorePosition({100, 50, 119, 250});  // 19 pixels wide
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);
    StorePosition({100, 50, 120, 70});  // 20 by 20 is enough
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), (FrameGeometry{100, 50, 20, 20}));
    StorePosition({-1, 50, 600, 250});
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);
    StorePosition({0, 0, kScreenWidth + 1, 88});
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);
    StorePosition({0, kScreenHeight + 1, 200, kScreenHeight + 100});
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);
    // Sides that would overflow a 32-bit subtraction.
    StorePosition({1, 1, INT32_MIN, INT32_MIN});
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);

    // A damaged entry reads as missing.
    WriteIniString("SECTION_WINDOW", "POSITION", "00000000", "Testbay.ini");
    EXPECT_EQ(InitialFrameGeometry(kScreenWidth, kScreenHeight), bar);
}

// The modes of the reset telegrams the PC wrote since the last ClearWrites.
std::vector<int32_t> ResetModesWritten(sim::MemoryLine& line) {
    sim::HwtRequestAssembler assembler;
    std::vector<int32_t> modes;
    for (const sim::MemoryLine::Written& write : line.Writes()) {
        for (const sim::HwtRequestFrame& request : assembler.Feed(write.bytes.data(), write.bytes.size())) {
            if (request.command == kResetCommand && !request.scalars.empty()) modes.push_back(request.scalars[0]);
        }
    }
    return modes;
}

class FrameConnectionTest : public ::testing::TestWithParam<uint32_t> {
protected:
    sim::RelayModel relay_{sim::RelayConfig{.startState = GetParam()}};
    VirtualLineFixture line_{relay_};
    FrameConnection connection_;
    const int firstSheet_ = 1;
    const int secondSheet_ = 2;
};

TEST_P(FrameConnectionTest, TwoSheetsShareOneConnectionAndTheLastReturnsTheRelayToItsState) {
    const FrameConnection::Outcome first = connection_.EnsureConnected();
    EXPECT_EQ(first.result, 1);
    EXPECT_FALSE(first.beep);
    EXPECT_FALSE(first.showMessage);
    EXPECT_EQ(connection_.PreviousDeviceState(), GetParam());
    EXPECT_EQ(CurrentHwtClient(), connection_.Client());
    connection_.RegisterTestWindow(&firstSheet_);
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&secondSheet_);
    EXPECT_EQ(connection_.UseCount(), 2u);

    line_.Line().ClearWrites();
    EXPECT_TRUE(connection_.ReleaseTestWindow(&firstSheet_));
    EXPECT_TRUE(ResetModesWritten(line_.Line()).empty());
    ASSERT_NE(connection_.Client(), nullptr);
    EXPECT_EQ(connection_.OpenTestWindows(), std::vector<FrameConnection::TestWindow>{&secondSheet_});

    EXPECT_TRUE(connection_.ReleaseTestWindow(&secondSheet_));
    const std::vector<int32_t> expected = GetParam() == kStateBootSystem    ? std::vector<int32_t>{1}
                                          : GetParam() == kStateApplication ? std::vector<int32_t>{5}
                                                                             : std::vector<int32_t>{};
    EXPECT_EQ(ResetModesWritten(line_.Line()), expected);
    EXPECT_EQ(connection_.Client(), nullptr);
    EXPECT_EQ(CurrentHwtClient(), nullptr);
    EXPECT_TRUE(PortIsFree());
    if (GetParam() == kStateBootSystem) {
        line_.Clock().AdvanceTo(line_.Clock().NowMs() + relay_.Config().hardwareTestToBootMs);
        EXPECT_EQ(relay_.State(), kStateBootSystem);
    }

    // The next sheet connects afresh.
    EXPECT_EQ(connection_.EnsureConnected().result, 1);
    EXPECT_EQ(connection_.UseCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryStartState, FrameConnectionTest,
                         ::testing::Values(kStateBootSystem, kStateApplication, kStateHardwareTest));

class SharedConnectionTest : public ::testing::Test {
protected:
    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    FrameConnection connection_;
    const int sheet_ = 1;
};

TEST_F(SharedConnectionTest, ARelayRestartedBetweenTwoSheetsIsEnteredAgain) {
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&sheet_);
    {
        // Switched off and on: the relay comes up in its application.
        CHwtV4Client other(connection_.Channel());
        other.Reset(2);
    }
    line_.Clock().AdvanceTo(line_.Clock().NowMs() + relay_.Config().hardwareTestToApplicationMs);
    ASSERT_EQ(relay_.State(), kStateApplication);

    const FrameConnection::Outcome again = connection_.EnsureConnected();
    EXPECT_EQ(again.result, 1);
    EXPECT_FALSE(again.showMessage);
    EXPECT_EQ(relay_.State(), kStateHardwareTest);
    EXPECT_EQ(connection_.UseCount(), 2u);
    EXPECT_EQ(CurrentHwtClient(), connection_.Client());
}

TEST_F(SharedConnectionTest, AFailedRecheckIsNoUse) {
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&sheet_);
    line_.Line().SetFaults({.silent = true});

    const FrameConnection::Outcome failed = connection_.EnsureConnected();
    EXPECT_NE(failed.result, 1);
    EXPECT_FALSE(failed.beep);  // no new client was tried
    EXPECT_TRUE(failed.showMessage);
    EXPECT_EQ(connection_.UseCount(), 1u);

    // Closing the one sheet still ends the connection.
    EXPECT_TRUE(connection_.ReleaseTestWindow(&sheet_));
    EXPECT_EQ(connection_.Client(), nullptr);
    EXPECT_TRUE(PortIsFree());
}

TEST_F(SharedConnectionTest, AnUnregisteredWindowChangesNothing) {
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&sheet_);
    const int stranger = 0;
    EXPECT_FALSE(connection_.ReleaseTestWindow(&stranger));
    EXPECT_EQ(connection_.UseCount(), 1u);
    EXPECT_EQ(connection_.OpenTestWindows().size(), 1u);
    EXPECT_NE(connection_.Client(), nullptr);

    // Closing the frame drops the client whatever the count, without a reset.
    line_.Line().ClearWrites();
    connection_.Close();
    EXPECT_EQ(connection_.Client(), nullptr);
    EXPECT_TRUE(PortIsFree());
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_F(SharedConnectionTest, FailuresToConnectLeaveNothingOpen) {
    const int held = line_.OpenChannel();  // another program has the port
    ASSERT_GE(held, 0);
    const FrameConnection::Outcome busy = connection_.EnsureConnected();
    EXPECT_EQ(busy.result, 0);
    EXPECT_FALSE(busy.beep);
    EXPECT_TRUE(busy.showMessage);
    ComClose(held);

    line_.Line().SetFaults({.silent = true});
    const FrameConnection::Outcome silent = connection_.EnsureConnected();
    EXPECT_EQ(silent.result, 0);
    EXPECT_TRUE(silent.beep);
    EXPECT_TRUE(silent.showMessage);
    EXPECT_EQ(connection_.Client(), nullptr);
    EXPECT_EQ(CurrentHwtClient(), nullptr);
    EXPECT_TRUE(PortIsFree());
    EXPECT_EQ(connection_.UseCount(), 0u);
}

}  // namespace
}  // namespace testbay
