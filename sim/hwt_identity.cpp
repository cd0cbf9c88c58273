#include "hwt/hwt_client.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {
constexpr uint8_t kIdentityCommand = 0x6F;
}  // namespace

void RegisterIdentityCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    IdentityState& identity = hardware.identity;
    firmware.Register(kIdentityCommand, [&identity](const HwtRequestFrame& request) {
        if (request.scalars.empty()) {
            return EncodeHwtAnswer(kIdentityCommand, kHwtPass,
                                   {AnswerText(identity.cpuType), AnswerText(identity.hardwareVersion)});
        }
        const int32_t index = request.scalars[0];
        if (index < 0 || static_cast<size_t>(index) >= identity.versions.size()) {
            return StatusAnswer(kIdentityCommand, kHwtFail);
        }
        return EncodeHwtAnswer(kIdentityCommand, kHwtPass,
                               {AnswerText(identity.cpuType), AnswerText(identity.versions[static_cast<size_t>(index)])});
    });
}

}  // namespace testbay::sim
