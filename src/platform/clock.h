#pragma once

#include <atomic>
#include <cstdint>

namespace testbay {

// The one source of time for the whole program: time since the process
// started, and sleeps. Tests swap in a VirtualClock so that long protocol
// sequences run in no real time. On a thread whose calls a stop request
// ends (StopEndsCalls), a sleep throws CallStopped once one comes.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t NowUs() = 0;
    virtual void SleepUs(int64_t microseconds) = 0;

    int64_t NowMs() { return NowUs() / 1000; }
    void SleepMs(int64_t milliseconds) { SleepUs(milliseconds * 1000); }
};

class SteadyClock final : public Clock {
public:
    SteadyClock();
    int64_t NowUs() override;
    void SleepUs(int64_t microseconds) override;

private:
    int64_t startNs_;
};

// Time moves only when someone sleeps or advances it.
class VirtualClock final : public Clock {
public:
    int64_t NowUs() override { return nowUs_.load(); }
    void SleepUs(int64_t microseconds) override;
    void AdvanceTo(int64_t milliseconds) { AdvanceToUs(milliseconds * 1000); }
    void AdvanceToUs(int64_t microseconds);
    int64_t TotalSleptMs() const { return sleptUs_.load() / 1000; }
    int SleepCount() const { return sleeps_.load(); }

private:
    std::atomic<int64_t> nowUs_{0};
    std::atomic<int64_t> sleptUs_{0};
    std::atomic<int> sleeps_{0};
};

Clock& ProcessClock();
// nullptr puts the real clock back.
void SetProcessClock(Clock* clock);

// Installs a clock for the life of a scope.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) { SetProcessClock(&clock); }
    ~ScopedClock() { SetProcessClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace testbay
