#pragma once

#include <cstdint>

#include "platform/serial_device.h"

namespace testbay {

// What a wait for input asks of a port.
class InputWaitPort {
public:
    enum class EventWait {
        Ended,              // an event, the bound, a stop request or input already queued
        EndedWithoutEvent,  // the system gave up on the wait by itself
        Refused             // the port would not wait at all
    };

    virtual ~InputWaitPort() = default;
    // Bytes in the input queue, or -1 when the port has failed.
    virtual long Queued() = 0;
    // Waits at most `milliseconds` for the port's input event.
    virtual EventWait WaitForEvent(uint32_t milliseconds) = 0;
    // The time the wait's bound is counted in.
    virtual int64_t NowMs() = 0;
};

// Waits until `port` has input, `timeoutMs` has passed or the port fails. The
// system's event wait does the waiting; Wine, on a pseudo-terminal, ends each
// one after a few milliseconds without an event, and arming it again at once
// keeps a core busy. After such an end the rest of the wait checks the queue
// every millisecond on the process clock instead. A stop request ends the
// wait with CallStopped on a thread in StopEndsCalls.
SerialDevice::Wait WaitForInput(InputWaitPort& port, int timeoutMs);

}  // namespace testbay
