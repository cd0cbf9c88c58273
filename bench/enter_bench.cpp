// EnterHardwaretest from each start state of the virtual relay: wall time over
// a pseudo-terminal, against the time the same sequence takes on the
// in-memory line in virtual time, where the relay answers at once and all
// that remains are the protocol's own waits, time-outs and the relay's
// restart times.
#include <chrono>
#include <cstdio>
#include <string>

#include "comm/channel.h"
#include "device/enter_hardwaretest.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "sim/memory_line.h"
#include "sim/relay_model.h"
#include "support/relay_process.h"

namespace {

double PtySeconds(const char* state) {
    testbay::test::RelayProcess relay({"--state", state});
    int channel = -1;
    if (relay.Device().empty() || !testbay::ComOpen(1, channel)) return -1;
    double seconds = -1;
    {
        testbay::CHwtV4Client client(channel);
        const auto start = std::chrono::steady_clock::now();
        if (EnterHardwaretest(client) == 1) {
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
    }
    testbay::ComClose(channel);
    return seconds;
}

double VirtualSeconds(uint32_t state) {
    testbay::VirtualClock clock;
    testbay::ScopedClock scope(clock);
    testbay::sim::RelayModel relay(testbay::sim::RelayConfig{.startState = state});
    testbay::sim::MemoryLine line(relay, clock);
    testbay::SetSerialPortFactory([&line](int) { return line.OpenPort(); });
    int channel = -1;
    testbay::ComOpen(1, channel);
    double seconds = -1;
    {
        testbay::CHwtV4Client client(channel);
        if (EnterHardwaretest(client) == 1) seconds = clock.NowMs() / 1000.0;
    }
    testbay::ComClose(channel);
    testbay::SetSerialPortFactory(nullptr);
    return seconds;
}

}  // namespace

int main() {
    const std::pair<const char*, uint32_t> states[] = {{"hwt", 3}, {"boot", 1}, {"app", 2}};
    for (const auto& [name, state] : states) {
        const double wall = PtySeconds(name);
        const double waits = VirtualSeconds(state);
        std::printf(
            "EnterHardwaretest from %-4s: %.3f s wall time, of which %.3f s (%.0f%%) are waits, "
            "time-outs and the relay's restart\n",
            name, wall, waits, wall > 0 ? 100.0 * waits / wall : 0.0);
    }
    return 0;
}
