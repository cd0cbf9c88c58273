#pragma once

#include <atomic>

namespace testbay {

// Set by SIGTERM, SIGINT or SIGHUP once CatchStopSignals has run.
std::atomic<bool>& StopRequest();

// Without SA_RESTART a signal ends the blocking read of the request loop, so
// that the program still cleans up after itself.
void CatchStopSignals();

}  // namespace testbay
