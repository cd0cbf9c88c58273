#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/frame_connection.h"
#include "protocol/hwt_commands.h"
#include "support/virtual_line.h"
#include "tools/notice_hand_over.h"

namespace testbay {
namespace {

constexpr int32_t kLed = 1;

// A communication-test worker as the dialogs run one: it holds the client for
// its run and tells the window thread after each use of it, waiting until the
// window has taken the notice. Asked to stop, it still finishes the cycle it
// is in, with one more use of the client.
class FrameCloseTest : public ::testing::Test {
protected:
    void StartWorker() {
        ClientRunHold hold = guard_.TryStartRun([this] { stop_ = true; });
        ASSERT_TRUE(hold);
        CHwtV4Client* client = connection_.Client();
        worker_ = std::thread([this, client, hold = std::move(hold)]() mutable {
            for (bool lastCycle = false; !lastCycle;) {
                lastCycle = stop_.load();
                if (CurrentHwtClient() != client) {
                    clientWentDuringRun_ = true;
                    break;
                }
                int32_t on = 0;
                client->GetLed(kLed, on);
                ++uses_;
                if (!lastCycle) notices_.Send([] {});
            }
            hold.Release();
            notices_.Send([] {});
            workerEnded_ = true;
        });
    }
    void CloseFrame() {
        connection_.CloseAfterTestRuns([this] {
            notices_.Deliver();
            std::this_thread::yield();
        });
    }

    sim::RelayModel relay_{sim::RelayConfig{.startState = kStateApplication}};
    test::VirtualLineFixture line_{relay_};
    HwtClientGuard guard_;
    FrameConnection connection_{guard_};
    NoticeHandOver notices_{[] {}};
    std::atomic<bool> stop_{false};
    std::atomic<int> uses_{0};
    std::atomic<bool> clientWentDuringRun_{false};
    std::atomic<bool> workerEnded_{false};
    std::thread worker_;
};

TEST_F(FrameCloseTest, ARunningTestStopsAndLetsTheClientGoBeforeTheFrameDropsIt) {
    const int sheet = 1;
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&sheet);
    StartWorker();
    notices_.WaitUntil([this] { return uses_.load() >= 3; }, [] { std::this_thread::yield(); });

    // Opening a further sheet meanwhile is refused as busy, and the user is told why.
    const FrameConnection::Outcome busy = connection_.EnsureConnectedForUser();
    EXPECT_TRUE(busy.busy && busy.showMessage);
    EXPECT_FALSE(busy.beep);
    EXPECT_EQ(busy.detail, FrameConnection::kBusyDetail);
    EXPECT_EQ(connection_.UseCount(), 1u);

    // The worker waits in its notices; the close keeps delivering them.
    CloseFrame();
    EXPECT_EQ(connection_.Client(), nullptr);
    EXPECT_FALSE(guard_.RunHeld());
    EXPECT_FALSE(clientWentDuringRun_.load());

    // The worker's last notice comes after the client went; the window still takes it.
    notices_.WaitUntil([this] { return workerEnded_.load(); }, [] { std::this_thread::yield(); });
    worker_.join();
    EXPECT_GE(uses_.load(), 3);
}

TEST_F(FrameCloseTest, TheLastSheetClosingDuringARunLeavesTheClientToTheRun) {
    const int sheet = 1;
    ASSERT_EQ(connection_.EnsureConnected().result, 1);
    connection_.RegisterTestWindow(&sheet);
    const size_t resetsBefore = test::SentScalars(line_.Line(), kResetCommand).size();
    StartWorker();
    notices_.WaitUntil([this] { return uses_.load() >= 1; }, [] { std::this_thread::yield(); });

    // No reset under the running test, and the client stays.
    EXPECT_TRUE(connection_.ReleaseTestWindow(&sheet));
    EXPECT_NE(connection_.Client(), nullptr);
    EXPECT_EQ(connection_.UseCount(), 0u);

    CloseFrame();
    notices_.WaitUntil([this] { return workerEnded_.load(); }, [] { std::this_thread::yield(); });
    worker_.join();
    EXPECT_FALSE(clientWentDuringRun_.load());
    EXPECT_EQ(connection_.Client(), nullptr);
    EXPECT_EQ(test::SentScalars(line_.Line(), kResetCommand).size(), resetsBefore);
}

}  // namespace
}  // namespace testbay
