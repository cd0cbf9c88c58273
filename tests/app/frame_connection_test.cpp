#include <gtest/gtest.h>

#include "settings/directories.h"
#include "app/frame_connection.h"
#include "settings/settings.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

// The line takes one port at a time: it opens only when nobody holds it.
bool PortIsFree() {
    int channel = -1;
    if (!ComOpen(1, channel)) return false;
    ComClose(channel);
    return true;
}

TEST(FrameGeometryTest, StoredPositionIsUsedOnlyWhenItFitsTheScreen) {
    test::TempDir dir;
    SetConfigDirectory(dir.Path());
    const FrameGeometry bar{0, 0, 1280, kDefaultBarHeight};
    EXPECT_EQ(InitialFrameGeometry(1280, 1024), bar);
    ASSERT_NE(StoreFramePosition({100, 50, 700, 250}), 0);
    EXPECT_EQ(InitialFrameGeometry(1280, 1024), (FrameGeometry{100, 50, 600, 200}));
    ASSERT_NE(StoreFramePosition({100, 50, 120, 70}), 0);  // 20 by 20 is enough
    EXPECT_EQ(InitialFrameGeometry(1280, 1024), (FrameGeometry{100, 50, 20, 20}));

    // Too narrow, past the left, right or bottom edge, and sides that would overflow a 32-bit subtraction.
    const WindowRect unusable[] = {
        {100, 50, 119, 250}, {-1, 50, 600, 250}, {0, 0, 1281, 88}, {0, 1025, 200, 1124}, {1, 1, INT32_MIN, INT32_MIN}};
    for (const WindowRect& rect : unusable) {
        ASSERT_NE(StoreFramePosition(rect), 0);
        EXPECT_EQ(InitialFrameGeometry(1280, 1024), bar) << rect.left << " " << rect.right;
    }
    // A damaged entry reads as missing.
    WriteIniString("SECTION_WINDOW", "POSITION", "00000000", "Testbay.ini");
    EXPECT_EQ(InitialFrameGeometry(1280, 1024), bar);
}

class FrameConnectionTest : public ::testing::TestWithParam<uint32_t> {
protected:
    sim::RelayModel relay_{sim::RelayConfig{.startState = GetParam()}};
    test::VirtualLineFixture line_{relay_};
    FrameConnection connection_;
    const int sheet_ = 1;
    const int secondSheet_ = 2;
};

TEST_P(FrameConnectionTest, TwoSheetsShareOneConnectionAndTheLastReturnsTheRelayToItsState) {
    EXPECT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&sheet_);
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&secondSheet_);
    const int stranger = 0;
    EXPECT_FALSE(connection_.ReleaseTestWindow(&stranger));  // changes nothing
    EXPECT_EQ(connection_.UseCount(), 2u);

    line_.Line().ClearWrites();
    EXPECT_TRUE(connection_.ReleaseTestWindow(&sheet_));
    EXPECT_TRUE(test::ResetModesWritten(line_.Line()).empty());

    EXPECT_TRUE(connection_.ReleaseTestWindow(&secondSheet_));
    const std::vector<int32_t> expected = GetParam() == kStateBootSystem    ? std::vector<int32_t>{1}
                                          : GetParam() == kStateApplication ? std::vector<int32_t>{5}
                                                                            : std::vector<int32_t>{};
    EXPECT_EQ(test::ResetModesWritten(line_.Line()), expected);
    EXPECT_TRUE(PortIsFree());

    // The next sheet connects afresh.
    EXPECT_EQ(connection_.EnsureConnected().result, 1);
    EXPECT_EQ(connection_.UseCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryStartState, FrameConnectionTest,
                         ::testing::Values(kStateBootSystem, kStateApplication, kStateHardwareTest));

class SharedConnectionTest : public ::testing::Test {
protected:
    void ConnectSheet() {
        ASSERT_EQ(connection_.EnsureConnected().result, 1);
        connection_.RegisterTestWindow(&sheet_);
    }

    sim::RelayModel relay_;
    test::VirtualLineFixture line_{relay_};
    FrameConnection connection_;
    const int sheet_ = 1;
};

TEST_F(SharedConnectionTest, ARelayRestartedBetweenTwoSheetsIsEnteredAgainAndClosingTheFrameDropsIt) {
    ConnectSheet();
    CHwtV4Client(connection_.Channel()).Reset(2);  // switched off and on
    line_.Clock().AdvanceTo(line_.Clock().NowMs() + relay_.Config().hardwareTestToApplicationMs);
    ASSERT_EQ(relay_.State(), kStateApplication);

    EXPECT_EQ(connection_.EnsureConnected().result, 1);
    EXPECT_EQ(relay_.State(), kStateHardwareTest);
    EXPECT_EQ(connection_.UseCount(), 2u);

    // Closing the frame drops the client whatever the count, without a reset.
    line_.Line().ClearWrites();
    connection_.Close();
    EXPECT_TRUE(PortIsFree());
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_F(SharedConnectionTest, AFailedConnectionOrRecheckIsNoUse) {
    line_.Line().SetFaults({.silent = true});
    const FrameConnection::Outcome silent = connection_.EnsureConnected();
    EXPECT_EQ(silent.result, 0);
    EXPECT_TRUE(silent.beep && silent.showMessage);
    EXPECT_TRUE(PortIsFree());

    line_.Line().SetFaults({});
    ConnectSheet();
    line_.Line().SetFaults({.silent = true});
    const FrameConnection::Outcome failed = connection_.EnsureConnected();
    EXPECT_NE(failed.result, 1);
    EXPECT_FALSE(failed.beep);  // no new client was tried
    EXPECT_TRUE(failed.showMessage);
    EXPECT_EQ(connection_.UseCount(), 1u);
    // Closing the one sheet still ends the connection.
    EXPECT_TRUE(connection_.ReleaseTestWindow(&sheet_));
    EXPECT_TRUE(PortIsFree());
}

TEST_F(SharedConnectionTest, AFailedEntryGivesTheMessageItsReasonAsSecondLine) {
    line_.Line().SetFaults({.silent = true});
    const FrameConnection::Outcome silent = connection_.EnsureConnectedForUser();
    EXPECT_TRUE(silent.showMessage);
    EXPECT_EQ(silent.detail.rfind("no answer from the relay on COM1 in any state; tried the hardware test at ", 0), 0u)
        << silent.detail;

    // A relay that stops answering under an open sheet is searched for again, and that search says why it failed.
    line_.Line().SetFaults({});
    ConnectSheet();
    line_.Line().SetFaults({.silent = true});
    const FrameConnection::Outcome recheck = connection_.EnsureConnectedForUser();
    EXPECT_TRUE(recheck.showMessage);
    EXPECT_EQ(recheck.detail, silent.detail);
    EXPECT_TRUE(connection_.ReleaseTestWindow(&sheet_));
}

TEST(FrameConnectionFailureTest, APortThatCannotBeOpenedGivesTheMessageTheSystemsReason) {
    test::TempDir dir;
    SetConfigDirectory(dir.Path());
    test::WriteWholeFile(dir.File("Testbay.ini"),
                         "[Testbay]\r\nComPort=2\r\n[Ports]\r\nCOM2=" + dir.File("missing") + "\r\n");
    FrameConnection connection;
    const FrameConnection::Outcome outcome = connection.EnsureConnectedForUser();
    EXPECT_EQ(outcome.result, 0);
    EXPECT_TRUE(outcome.showMessage);
    EXPECT_FALSE(outcome.beep);  // no client was tried
    EXPECT_EQ(outcome.detail.rfind("cannot open COM2 (" + dir.File("missing") + "): ", 0), 0u) << outcome.detail;
}

TEST_F(SharedConnectionTest, APortThatGoesAwayUnderTheFrameIsToldWithTheSerialLayersText) {
    ConnectSheet();
    ComClose(connection_.Channel());
    const FrameConnection::Outcome failed = connection_.EnsureConnectedForUser();
    EXPECT_EQ(failed.result, 0);
    EXPECT_TRUE(failed.showMessage);
    EXPECT_FALSE(failed.beep || failed.busy);
    EXPECT_EQ(failed.detail, "Port geschlossen");
    EXPECT_EQ(connection_.UseCount(), 1u);
}

TEST(TestWindowPlacementTest, ATestWindowIsCentredVerticallyEvenWhenTallerThanTheScreen) {
    EXPECT_EQ(CentredWindowTop(1024, 600), 212);
    EXPECT_EQ(CentredWindowTop(600, 800), -100);
}

}  // namespace
}  // namespace testbay
