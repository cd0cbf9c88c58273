#include "platform/stop_request.h"

namespace testbay {
namespace {

thread_local bool t_stopEndsCalls = false;

}  // namespace

StopEndsCalls::StopEndsCalls() : outer_(t_stopEndsCalls) { t_stopEndsCalls = true; }

StopEndsCalls::~StopEndsCalls() { t_stopEndsCalls = outer_; }

bool StopEndsCallsHere() { return t_stopEndsCalls; }

void EndCallOnStopRequest() {
    if (t_stopEndsCalls && StopRequested()) throw CallStopped();
}

}  // namespace testbay
