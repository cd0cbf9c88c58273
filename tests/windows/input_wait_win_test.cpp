// The wait for input on a port whose event wait the system may end early
// (Wine on a pseudo-terminal), in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/clock.h"
#include "platform/input_wait_win.h"
#include "platform/stop_request.h"

namespace testbay {
namespace {

using Wait = SerialDevice::Wait;
using EventWait = InputWaitPort::EventWait;

constexpr int64_t kNever = -1;
// How long Wine lets an event wait on a pseudo-terminal last.
constexpr int64_t kWineEventWaitMs = 14;

// A port in virtual time: input comes at `inputAtMs`, the port fails at
// `failsAtMs`; its event wait either works or ends without an event after
// kWineEventWaitMs, as under Wine.
class ScriptedPort final : public InputWaitPort {
public:
    ScriptedPort(VirtualClock& clock, bool eventWaitWorks) : clock_(clock), eventWaitWorks_(eventWaitWorks) {}

    long Queued() override {
        ++queueChecks;
        if (onQueueCheck) onQueueCheck(NowMs());
        if (failsAtMs != kNever && NowMs() >= failsAtMs) return -1;
        return inputAtMs != kNever && NowMs() >= inputAtMs ? 3 : 0;
    }

    EventWait WaitForEvent(uint32_t milliseconds) override {
        ++eventWaits;
        const int64_t bound = NowMs() + milliseconds;
        if (!eventWaitWorks_) {
            clock_.AdvanceTo(std::min(bound, NowMs() + kWineEventWaitMs));
            return NowMs() < bound ? EventWait::EndedWithoutEvent : EventWait::Ended;
        }
        const bool inputComes = inputAtMs != kNever && inputAtMs < bound;
        clock_.AdvanceTo(inputComes ? std::max(inputAtMs, NowMs()) : bound);
        return EventWait::Ended;
    }

    int64_t NowMs() override { return clock_.NowMs(); }

    int64_t inputAtMs = kNever;
    int64_t failsAtMs = kNever;
    std::function<void(int64_t)> onQueueCheck;
    int eventWaits = 0;
    int queueChecks = 0;

private:
    VirtualClock& clock_;
    bool eventWaitWorks_;
};

class InputWait : public ::testing::Test {
protected:
    VirtualClock clock;
    ScopedClock scoped{clock};
};

TEST_F(InputWait, AnEventWaitThatEndsWithoutAnEventIsNotArmedAgainForTheRestOfTheWait) {
    ScriptedPort silent(clock, false);
    EXPECT_EQ(WaitForInput(silent, 5000), Wait::TimedOut);
    EXPECT_EQ(clock.NowMs(), 5000);
    EXPECT_EQ(silent.eventWaits, 1);
    // The rest is checked every millisecond, not in one long sleep.
    EXPECT_EQ(clock.SleepCount(), 5000 - kWineEventWaitMs);
    EXPECT_EQ(clock.TotalSleptMs(), 5000 - kWineEventWaitMs);

    // The next wait tries the event wait again.
    ScriptedPort next(clock, false);
    EXPECT_EQ(WaitForInput(next, 100), Wait::TimedOut);
    EXPECT_EQ(next.eventWaits, 1);
}

TEST_F(InputWait, InputOrAFailureDuringTheQueueChecksEndsTheWaitWithinAMillisecond) {
    ScriptedPort answering(clock, false);
    answering.inputAtMs = 2500;
    EXPECT_EQ(WaitForInput(answering, 5000), Wait::Readable);
    EXPECT_EQ(clock.NowMs(), 2500);

    const int64_t start = clock.NowMs();
    ScriptedPort unplugged(clock, false);
    unplugged.failsAtMs = start + 700;
    EXPECT_EQ(WaitForInput(unplugged, 5000), Wait::Failed);
    EXPECT_EQ(clock.NowMs(), start + 700);
}

TEST_F(InputWait, AWorkingEventWaitWaitsWholeWithoutSleeps) {
    ScriptedPort silent(clock, true);
    EXPECT_EQ(WaitForInput(silent, 5000), Wait::TimedOut);
    EXPECT_EQ(clock.NowMs(), 5000);
    EXPECT_EQ(silent.eventWaits, 1);

    ScriptedPort answering(clock, true);
    answering.inputAtMs = 8000;
    EXPECT_EQ(WaitForInput(answering, 5000), Wait::Readable);
    EXPECT_EQ(clock.NowMs(), 8000);
    EXPECT_EQ(answering.eventWaits, 1);
    EXPECT_EQ(clock.SleepCount(), 0);
}

TEST_F(InputWait, QueuedInputAndNoTimeLeftNeedNoEventWait) {
    ScriptedPort ready(clock, false);
    ready.inputAtMs = 0;
    EXPECT_EQ(WaitForInput(ready, 5000), Wait::Readable);
    EXPECT_EQ(ready.eventWaits, 0);

    ScriptedPort silent(clock, false);
    EXPECT_EQ(WaitForInput(silent, 0), Wait::TimedOut);
    EXPECT_EQ(silent.eventWaits, 0);
    EXPECT_EQ(silent.queueChecks, 1);
}

TEST_F(InputWait, AStopRequestEndsTheQueueChecksOnAThreadWhoseCallsItEnds) {
    ScriptedPort silent(clock, false);
    silent.onQueueCheck = [](int64_t nowMs) {
        if (nowMs >= 1000) RequestStop();
    };
    {
        StopEndsCalls stopEndsCalls;
        EXPECT_THROW(WaitForInput(silent, 5000), CallStopped);
    }
    WithdrawStopRequest();
    EXPECT_EQ(clock.NowMs(), 1000);

    // Elsewhere (a window's worker) the wait goes on to its bound.
    ScriptedPort other(clock, false);
    other.onQueueCheck = [](int64_t) { RequestStop(); };
    EXPECT_EQ(WaitForInput(other, 200), Wait::TimedOut);
    WithdrawStopRequest();
}

}  // namespace
}  // namespace testbay
