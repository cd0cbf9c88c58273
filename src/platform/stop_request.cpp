#include "platform/stop_request.h"

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace testbay {
namespace {

std::atomic<bool> g_requested{false};

// Readable once a stop is requested, so that poll() can wait on it beside a
// port. Made with the process: a signal handler cannot make it.
struct WakePipe {
    WakePipe() {
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) fds[0] = fds[1] = -1;
    }
    int fds[2];
};
WakePipe g_wake;

int64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

void RequestStop() {
    if (g_requested.exchange(true)) return;
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_wake.fds[1], &byte, 1);
    errno = savedErrno;
}

bool StopRequested() { return g_requested.load(); }

void WithdrawStopRequest() {
    g_requested.store(false);
    char bytes[16];
    while (read(g_wake.fds[0], bytes, sizeof(bytes)) > 0) {
    }
}

bool WaitForStopRequestUs(int64_t microseconds) {
    const int64_t deadlineNs = MonotonicNs() + microseconds * 1000;
    for (;;) {
        if (StopRequested()) return true;
        const int64_t leftNs = deadlineNs - MonotonicNs();
        if (leftNs <= 0) return false;
        const timespec left{static_cast<time_t>(leftNs / 1000000000), static_cast<long>(leftNs % 1000000000)};
        pollfd wake{g_wake.fds[0], POLLIN, 0};
        // A signal (EINTR) or the pipe: the flag above tells which.
        ppoll(&wake, 1, &left, nullptr);
    }
}

int StopRequestFd() { return g_wake.fds[0]; }

}  // namespace testbay
