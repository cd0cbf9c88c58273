#pragma once

#include <atomic>

namespace testbay {

// Stop requests of the system (Linux: SIGTERM, SIGINT, SIGHUP; Windows: the
// console's control events) set `stop` and end a blocking read of standard
// input, so that the program still cleans up after itself.
void CatchStopRequests(std::atomic<bool>& stop);
// Called once the program has cleaned up: a Windows console that is being
// closed waits for it (within the time the system allows).
void StopRequestsHandled();
// Standard input and output pass bytes unchanged (Windows would otherwise
// turn "\n" into "\r\n").
void UseBinaryStandardStreams();

}  // namespace testbay
