#pragma once

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstdint>

namespace testbay {

// Real time for the poll() deadlines of the Linux device and socket code.
// Deliberately not ProcessClock(): poll waits in real time even when tests
// install a virtual clock.
inline int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Milliseconds left until `deadline`, rounded up so that a wait never ends
// early, clamped to what poll() takes; 0 when the time is up.
inline int RemainingMs(int64_t deadlineMs) {
    int64_t remaining = deadlineMs - MonotonicMs();
    if (remaining <= 0) return 0;
    return remaining > INT32_MAX ? INT32_MAX : static_cast<int>(remaining);
}

inline int64_t DeadlineAfter(int timeoutMs) { return MonotonicMs() + (timeoutMs > 0 ? timeoutMs : 0); }

// Polls `fd` once for `events`, restarting after signals with the time left.
// Returns poll()'s count (0 on time-out) or -1 with errno set. `wakeFd`, when
// not negative, ends the wait early as a time-out once it is readable.
inline int PollUntil(int fd, short events, int64_t deadlineMs, short& revents, int wakeFd = -1) {
    for (;;) {
        pollfd entries[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int ready = poll(entries, 2, RemainingMs(deadlineMs));
        if (ready < 0 && errno == EINTR) continue;  // recompute the remaining time
        revents = ready > 0 ? entries[0].revents : 0;
        return ready > 0 && revents == 0 ? 0 : ready;
    }
}

}  // namespace testbay
