#pragma once

#include <cstdint>
#include <stdexcept>

namespace testbay {

// One request per process to stop: a stop signal or the automation input
// closing. It stays until withdrawn.
void RequestStop();  // safe in a signal handler
bool StopRequested();
// Lets a test start its next case without one.
void WithdrawStopRequest();

// Waits at most `microseconds` in real time; true as soon as a stop is
// requested (at once when one already was).
bool WaitForStopRequestUs(int64_t microseconds);

// What a system wait can wait on besides its own handle: a file descriptor
// readable once a stop is requested (Linux), or an event set then (Windows).
#ifdef _WIN32
void* StopRequestEvent();
// Waits at most `milliseconds` for the event `event`, on a thread in
// StopEndsCalls for a stop request too; true only when `event` was set.
bool WaitForEventOrStopRequest(void* event, unsigned long milliseconds);
#else
int StopRequestFd();
#endif

// Ends a call whose thread is in a StopEndsCalls scope once a stop has been
// requested.
class CallStopped : public std::runtime_error {
public:
    CallStopped() : std::runtime_error("call stopped: the program is ending") {}
};

// While one lives, the sleeps and line waits of this thread throw
// CallStopped once a stop is requested. Threads outside (the desktop
// window's workers) wait as before and end their work in their own way.
class StopEndsCalls {
public:
    StopEndsCalls();
    ~StopEndsCalls();
    StopEndsCalls(const StopEndsCalls&) = delete;
    StopEndsCalls& operator=(const StopEndsCalls&) = delete;

private:
    bool outer_;
};

bool StopEndsCallsHere();
// Throws CallStopped when a stop is requested and this thread's calls end on it.
void EndCallOnStopRequest();

}  // namespace testbay
