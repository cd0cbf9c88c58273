// One request line into the automation server, as a script would send it.
// The serial ports it may open are in-memory lines to a virtual relay, and
// time is virtual, so that Sleep and time-outs cost nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "automation/automation_server.h"
#include "comm/channel.h"
#include "platform/clock.h"
#include "sim/memory_line.h"
#include "sim/relay_model.h"

namespace {

struct Bench {
    Bench() {
        testbay::SetProcessClock(&clock);
        testbay::SetSerialPortFactory([this](int) { return line.OpenPort(); });
    }
    testbay::VirtualClock clock;
    testbay::sim::RelayModel relay;
    testbay::sim::MemoryLine line{relay, clock};
    testbay::AutomationServer server;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Bench bench;
    const std::string line(reinterpret_cast<const char*>(data), size);
    bench.server.HandleLine(line);
    return 0;
}
