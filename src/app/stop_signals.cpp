#include "app/stop_signals.h"

#include <signal.h>

namespace testbay {
namespace {

std::atomic<bool> g_stopRequest{false};

void RequestStop(int) { g_stopRequest.store(true); }

}  // namespace

std::atomic<bool>& StopRequest() { return g_stopRequest; }

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace testbay
