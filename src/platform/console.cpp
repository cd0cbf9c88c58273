#include "platform/console.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/stop_request.h"

namespace testbay {
namespace {

std::atomic<bool>* g_stop = nullptr;

void OnStopSignal(int) {
    if (g_stop) g_stop->store(true);
    RequestStop();
}

}  // namespace

// Without SA_RESTART a signal also ends a blocking call of the thread it lands on.
void CatchStopRequests(std::atomic<bool>& stop) {
    g_stop = &stop;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
    // A client that has closed its end of our output gets no more replies;
    // the write fails and the program cleans up as for any other end.
    signal(SIGPIPE, SIG_IGN);
}

void StopRequestsHandled() {}

void UseParentConsoleForMissingStreams() {}

void UseBinaryStandardStreams() {}

size_t ReadStandardInput(char* buffer, size_t size) {
    for (;;) {
        const ssize_t count = read(STDIN_FILENO, buffer, size);
        if (count >= 0) return static_cast<size_t>(count);
        if (errno != EINTR) return 0;
    }
}

}  // namespace testbay
