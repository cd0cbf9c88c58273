#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tools/notice_hand_over.h"

namespace testbay {
namespace {

// The test's own thread plays the window thread; it only delivers while it
// waits, so every notice is handled through WaitUntil.
class NoticeHandOverTest : public ::testing::Test {
protected:
    void WaitForWorkers(const std::atomic<int>& running) {
        handOver_.WaitUntil([&running] { return running.load() == 0; }, [] { std::this_thread::yield(); });
    }

    std::atomic<int> posts_{0};
    NoticeHandOver handOver_{[this] { ++posts_; }};
    const std::thread::id windowThread_ = std::this_thread::get_id();
};

TEST_F(NoticeHandOverTest, AWorkerWaitsForEachNoticeOnTheWindowThreadAndTheWaitingWindowKeepsHandlingThem) {
    constexpr int kNotices = 50;
    std::vector<int> handled;  // only ever touched on the window thread
    bool allOnWindowThread = true;
    bool sendReturnedEarly = false;
    std::atomic<int> running{1};
    std::thread worker([&] {
        for (int notice = 0; notice < kNotices; ++notice) {
            handOver_.Send([&, notice] {
                allOnWindowThread = allOnWindowThread && std::this_thread::get_id() == windowThread_;
                handled.push_back(notice);
            });
            // Send has returned: the window thread handled this notice, and the
            // lock of the hand-over makes its writes visible here.
            sendReturnedEarly = sendReturnedEarly || handled.size() != static_cast<size_t>(notice) + 1;
        }
        running = 0;
    });
    WaitForWorkers(running);
    worker.join();

    ASSERT_EQ(handled.size(), static_cast<size_t>(kNotices));
    for (int notice = 0; notice < kNotices; ++notice) EXPECT_EQ(handled[static_cast<size_t>(notice)], notice);
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_FALSE(sendReturnedEarly);
    EXPECT_EQ(posts_.load(), kNotices);
}

TEST_F(NoticeHandOverTest, NoticesOfTwoWorkersAreEachHandledOnce) {
    constexpr int kNoticesEach = 40;
    int handled[2] = {0, 0};
    std::atomic<int> running{2};
    std::vector<std::thread> workers;
    for (int index = 0; index < 2; ++index) {
        workers.emplace_back([&, index] {
            for (int notice = 0; notice < kNoticesEach; ++notice) handOver_.Send([&] { ++handled[index]; });
            --running;
        });
    }
    WaitForWorkers(running);
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(handled[0], kNoticesEach);
    EXPECT_EQ(handled[1], kNoticesEach);
}

// A handler that opens a window runs a nested event loop, which may try to
// deliver the same notice again.
TEST_F(NoticeHandOverTest, ADeliveryFromWithinAHandlerDoesNotRunItTwice) {
    int runs = 0;
    std::atomic<int> running{1};
    std::thread worker([&] {
        handOver_.Send([&] {
            ++runs;
            handOver_.Deliver();
        });
        running = 0;
    });
    WaitForWorkers(running);
    worker.join();
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace testbay
