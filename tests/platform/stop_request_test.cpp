// A stop request against the real clock and a real line: signals and other
// threads end a long wait within milliseconds, on the threads whose calls a
// stop ends, and nowhere else.
#include "platform/stop_request.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/line_settings.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_device.h"

namespace testbay {
namespace {

constexpr int64_t kStopAfterMs = 50;
// Long enough to tell, short enough that a sleep the stop misses fails the test rather than hangs it.
constexpr int64_t kLongSleepMs = 5000;

class StopRequestTest : public ::testing::Test {
protected:
    void SetUp() override { WithdrawStopRequest(); }
    void TearDown() override {
        if (stopper_.joinable()) stopper_.join();
        WithdrawStopRequest();
    }

    // `stop` runs on another thread a little after the wait has begun.
    void StopSoon(std::function<void()> stop) {
        stopper_ = std::thread([stop = std::move(stop)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(kStopAfterMs));
            stop();
        });
    }
    // Real milliseconds that `wait` took; it must end with CallStopped.
    static int64_t StoppedAfterMs(const std::function<void()>& wait) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(wait(), CallStopped);
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    std::thread stopper_;
};

TEST_F(StopRequestTest, SignalsAndOtherThreadsEndALongSleepAtOnce) {
    std::atomic<bool> stopFlag{false};
    CatchStopRequests(stopFlag);
    StopEndsCalls stopEndsCalls;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        WithdrawStopRequest();
        StopSoon([signal] { kill(getpid(), signal); });
        EXPECT_LT(StoppedAfterMs([] { ProcessClock().SleepMs(kLongSleepMs); }), 1000) << "signal " << signal;
        stopper_.join();
    }
    EXPECT_TRUE(stopFlag.load());

    WithdrawStopRequest();
    StopSoon(RequestStop);
    EXPECT_LT(StoppedAfterMs([] { ProcessClock().SleepMs(kLongSleepMs); }), 1000);
    // Once requested, every later sleep of the call ends at once.
    EXPECT_LT(StoppedAfterMs([] { ProcessClock().SleepMs(kLongSleepMs); }), 1000);
}

TEST_F(StopRequestTest, ALineWaitEndsAtOnceAndThePortStaysUsable) {
    PseudoTerminal relay;
    ASSERT_TRUE(relay.Create());
    SerialDevice port;
    ASSERT_EQ(port.Open(relay.SlavePath(), LineSettings{}), 0);
    {
        StopEndsCalls stopEndsCalls;
        StopSoon(RequestStop);
        EXPECT_LT(StoppedAfterMs([&] { port.WaitReadable(static_cast<int>(kLongSleepMs)); }), 1000);
    }
    // A thread whose calls a stop does not end waits as before.
    EXPECT_EQ(port.WaitReadable(20), SerialDevice::Wait::TimedOut);
    const char byte = 'x';
    ASSERT_EQ(write(relay.MasterFd(), &byte, 1), 1);
    EXPECT_EQ(port.WaitReadable(1000), SerialDevice::Wait::Readable);
}

TEST_F(StopRequestTest, ThreadsOutsideTheScopeSleepAsBefore) {
    RequestStop();
    VirtualClock clock;
    ScopedClock scope(clock);
    std::thread worker([] { ProcessClock().SleepMs(1500); });
    worker.join();
    EXPECT_EQ(clock.NowMs(), 1500);
    ProcessClock().SleepMs(500);
    EXPECT_EQ(clock.NowMs(), 2000);
    StopEndsCalls stopEndsCalls;
    EXPECT_THROW(ProcessClock().SleepMs(500), CallStopped);
    EXPECT_EQ(clock.NowMs(), 2000);
}

}  // namespace
}  // namespace testbay
