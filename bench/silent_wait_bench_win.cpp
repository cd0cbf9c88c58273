// What one wait for an answer costs the Windows build when none comes: the
// process CPU time during SerialDevice::WaitReadable against a silent relay
// on COM<port> (under Wine: testbay-relay --silent on a pseudo-terminal that
// $WINEPREFIX/dosdevices/com<port> links to).
// Usage: silent_wait_bench_win.exe <port> [wait ms] [waits]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/serial_device.h"
#include "process_times_win.h"

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : 5;
    const int waitMs = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int waits = argc > 3 ? std::atoi(argv[3]) : 1;
    testbay::SerialDevice device;
    const std::string path = "\\\\.\\COM" + std::to_string(port);
    if (const int error = device.Open(path, testbay::LineSettings{38400}); error != 0) {
        std::printf("%s: cannot open (errno %d)\n", path.c_str(), error);
        return 1;
    }
    for (int i = 0; i < waits; ++i) {
        const double wallStart = bench::WallSeconds();
        const double cpuStart = bench::CpuSeconds();
        const testbay::SerialDevice::Wait result = device.WaitReadable(waitMs);
        const double wall = bench::WallSeconds() - wallStart;
        const double cpu = bench::CpuSeconds() - cpuStart;
        if (result != testbay::SerialDevice::Wait::TimedOut) {
            std::printf("the wait ended with %s instead of its time-out\n",
                        result == testbay::SerialDevice::Wait::Readable ? "input" : "a failure");
            return 1;
        }
        std::printf("silent wait of %d ms: ended after %.3f s, process CPU %.3f s (%.1f%% of a core)\n", waitMs, wall,
                    cpu, 100.0 * cpu / wall);
    }
    return 0;
}
