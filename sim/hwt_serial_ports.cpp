#include <algorithm>

#include "hwt/hwt_client.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {
constexpr uint8_t kBaudrateCommand = 0x2B;
constexpr uint32_t kLinkRates[] = {38400, 57600, 115200, 153600, 230400};
}  // namespace

void RegisterSerialPortCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    firmware.Register(kBaudrateCommand, [&hardware](const HwtRequestFrame& request) {
        if (request.scalars.size() < 2) return StatusAnswer(kBaudrateCommand, kHwtFail);
        const auto baud = static_cast<uint32_t>(request.scalars[1]);
        if (std::find(std::begin(kLinkRates), std::end(kLinkRates), baud) == std::end(kLinkRates)) {
            return StatusAnswer(kBaudrateCommand, kHwtFail);
        }
        hardware.requestedLinkBaud = baud;
        return StatusAnswer(kBaudrateCommand, kHwtPass);
    });
}

}  // namespace testbay::sim
