#include "platform/console.h"

#include <signal.h>

namespace testbay {
namespace {

std::atomic<bool>* g_stop = nullptr;

void RequestStop(int) {
    if (g_stop) g_stop->store(true);
}

}  // namespace

// Without SA_RESTART a signal ends the blocking read of the request loop.
void CatchStopRequests(std::atomic<bool>& stop) {
    g_stop = &stop;
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

void StopRequestsHandled() {}

void UseBinaryStandardStreams() {}

}  // namespace testbay
