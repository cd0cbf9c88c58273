// Exchange throughput over a pseudo-terminal against testbay-relay: GetLed
// exchanges per second, client CPU time per exchange, and with wire timing
// the measured time against the time the bytes need on the wire.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "comm/channel.h"
#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "support/relay_process.h"

namespace {

double NowSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// 68 03 0E 01 01 sum out, 68 04 0E 01 01 state sum back.
constexpr int kBytesPerExchange = 6 + 7;

void Run(const char* title, const std::vector<std::string>& relayOptions, int exchanges) {
    testbay::test::RelayProcess relay(relayOptions);
    int channel = -1;
    if (relay.Device().empty() || !testbay::ComOpen(1, channel)) {
        std::printf("%s: relay not reachable\n", title);
        return;
    }
    {
        testbay::CHwtV4Client client(channel);
        client.FindBaudrate();
        const uint32_t baud = testbay::ComGetBaud(channel);
        int failures = 0;
        int32_t on = 0;
        const double wallStart = NowSeconds(CLOCK_MONOTONIC);
        const double cpuStart = NowSeconds(CLOCK_PROCESS_CPUTIME_ID);
        for (int i = 0; i < exchanges; ++i) failures += client.GetLed(1, on) == 1 ? 0 : 1;
        const double wall = NowSeconds(CLOCK_MONOTONIC) - wallStart;
        const double cpu = NowSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
        const double wireSeconds = exchanges * kBytesPerExchange * 10.0 / baud;
        std::printf(
            "%s at %u baud: %d exchanges (%d failed) in %.3f s: %.0f exchanges/s, "
            "client CPU %.1f us per exchange (%.1f%% of wall time)",
            title, baud, exchanges, failures, wall, exchanges / wall, cpu / exchanges * 1e6, 100.0 * cpu / wall);
        if (relayOptions.size() > 2) std::printf(", measured/wire time %.2f", wall / wireSeconds);
        std::printf("\n");
    }
    testbay::ComClose(channel);
}

}  // namespace

int main(int argc, char** argv) {
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 2000;
    Run("no wire timing", {"--baud", "115200"}, exchanges);
    Run("wire timing", {"--baud", "115200", "--wire-timing"}, exchanges);
    return 0;
}
