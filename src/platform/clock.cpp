#include "platform/clock.h"

#include <time.h>

#include "platform/stop_request.h"

namespace testbay {
namespace {

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

std::atomic<Clock*> g_clock{nullptr};

SteadyClock& Steady() {
    static SteadyClock steady;
    return steady;
}

// Started with the process, so that time stamps count from the start.
[[maybe_unused]] SteadyClock& g_startedWithProcess = Steady();

}  // namespace

SteadyClock::SteadyClock() : startNs_(MonotonicNs()) {}

int64_t SteadyClock::NowUs() { return (MonotonicNs() - startNs_) / 1000; }

void SteadyClock::SleepUs(int64_t microseconds) {
    if (microseconds <= 0) return;
    if (StopEndsCallsHere()) {
        WaitForStopRequestUs(microseconds);
        EndCallOnStopRequest();
        return;
    }
    timespec ts{static_cast<time_t>(microseconds / 1000000), static_cast<long>(microseconds % 1000000) * 1000};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void VirtualClock::SleepUs(int64_t microseconds) {
    EndCallOnStopRequest();
    sleeps_++;
    if (microseconds <= 0) return;
    sleptUs_ += microseconds;
    nowUs_ += microseconds;
}

void VirtualClock::AdvanceToUs(int64_t target) {
    int64_t now = nowUs_.load();
    while (target > now && !nowUs_.compare_exchange_weak(now, target)) {
    }
}

Clock& ProcessClock() {
    Clock* clock = g_clock.load();
    return clock ? *clock : Steady();
}

void SetProcessClock(Clock* clock) { g_clock.store(clock); }

}  // namespace testbay
