// Exchange throughput of the Windows build: GetLed exchanges per second and
// client CPU time per exchange, against a relay already on COM<port> (under
// Wine: testbay-relay on a pseudo-terminal that $WINEPREFIX/dosdevices/com<port>
// links to).  Usage: exchange_bench_win.exe <port> [exchanges]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "process_times_win.h"

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : 5;
    const int exchanges = argc > 2 ? std::atoi(argv[2]) : 2000;
    int channel = -1;
    if (!testbay::ComOpen(port, channel)) {
        std::printf("COM%d: relay not reachable\n", port);
        return 1;
    }
    {
        testbay::CHwtV4Client client(channel);
        client.FindBaudrate();
        int failures = 0;
        int32_t on = 0;
        const double wallStart = bench::WallSeconds();
        const double cpuStart = bench::CpuSeconds();
        for (int i = 0; i < exchanges; ++i) failures += client.GetLed(1, on) == 1 ? 0 : 1;
        const double wall = bench::WallSeconds() - wallStart;
        const double cpu = bench::CpuSeconds() - cpuStart;
        std::printf(
            "Windows build at %u baud: %d exchanges (%d failed) in %.3f s: %.0f exchanges/s, "
            "client CPU %.1f us per exchange (%.1f%% of wall time)\n",
            testbay::ComGetBaud(channel), exchanges, failures, wall, exchanges / wall, cpu / exchanges * 1e6,
            100.0 * cpu / wall);
    }
    testbay::ComClose(channel);
    return 0;
}
