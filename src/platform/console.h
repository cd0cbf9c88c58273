#pragma once

#include <atomic>
#include <cstddef>

namespace testbay {

// Stop requests of the system (Linux: SIGTERM, SIGINT, SIGHUP; Windows: the
// console's control events) set `stop` and request the process to stop
// (platform/stop_request.h), so that the program still cleans up after
// itself. A reader that has gone (SIGPIPE) no longer ends the program.
void CatchStopRequests(std::atomic<bool>& stop);
// Called once the program has cleaned up: a Windows console that is being
// closed waits for it (within the time the system allows).
void StopRequestsHandled();
// A program of the Windows subsystem started from a console gets no standard
// streams; the missing ones become that console's, so that the program reads
// and writes it as a console program would. Streams its parent handed it
// (pipes, files) stay. Nothing to do on Linux. Call it before the first output.
void UseParentConsoleForMissingStreams();
// Standard input and output pass bytes unchanged (Windows would otherwise
// turn "\n" into "\r\n").
void UseBinaryStandardStreams();
// Blocks for at most `size` bytes of standard input, read past the C
// library's buffers; 0 at its end or on an error.
size_t ReadStandardInput(char* buffer, size_t size);

}  // namespace testbay
