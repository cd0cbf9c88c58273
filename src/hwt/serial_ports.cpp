#include "comm/channel.h"
#include "comm/trace.h"
#include "hwt/hwt_client.h"

namespace testbay {
namespace {

constexpr uint8_t kBaudrateCommand = 0x2B;
constexpr uint32_t kStartBaud = 38400;
constexpr uint32_t kFallbackBaud = 115200;

// The fastest link rate each board family runs.
uint32_t FamilyBaud(const std::string& cpu) {
    if (cpu.rfind("MBX2", 0) == 0) return 153600;
    switch (cpu.empty() ? '\0' : cpu[0]) {
    case 'M': return 57600;
    case 'N': return 115200;
    case 'P': return 230400;
    case 'Q': return 115200;
    default: return kStartBaud;
    }
}

}  // namespace

int CHwtV4Client::SetBaudrate(int32_t port, uint32_t baud) {
    TraceLine("CHwtV4Client::SetBaudrate");
    if (baud == 0) {
        baud = kStartBaud;
        std::string cpu;
        if (GetCPU(cpu) == 1) baud = FamilyBaud(cpu);
        if (baud > kFallbackBaud) {
            // The PC port must take the rate too.
            const uint32_t current = ComGetBaud(channel_);
            if (ComBaud(channel_, baud) == 0) baud = kFallbackBaud;
            ComBaud(channel_, current);
        }
    }
    telegramm(kBaudrateCommand, {Scalar(port), Scalar(baud)}, 0);
    int32_t on = 0;
    if (GetLed(1, on) == 1) return 1;
    ComBaud(channel_, baud);
    GetLed(1, on);
    return 1;
}

}  // namespace testbay
