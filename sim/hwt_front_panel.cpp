#include "hwt/hwt_client.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {
constexpr uint8_t kLedCommand = 0x0E;
}  // namespace

void RegisterFrontPanelCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    FrontPanelState& panel = hardware.frontPanel;
    firmware.Register(kLedCommand, [&panel](const HwtRequestFrame& request) {
        auto& leds = panel.leds;
        const auto count = static_cast<int32_t>(leds.size());
        if (request.scalars.empty()) return EncodeHwtAnswer(kLedCommand, kHwtPass, {AnswerScalar(count)});
        const int32_t led = request.scalars[0];
        if (led < 1 || led > count) return StatusAnswer(kLedCommand, kHwtFail);
        if (request.scalars.size() == 1) {
            return EncodeHwtAnswer(kLedCommand, kHwtPass, {AnswerScalar(leds[static_cast<size_t>(led - 1)] ? 1 : 0)});
        }
        leds[static_cast<size_t>(led - 1)] = request.scalars[1] == 1;
        return StatusAnswer(kLedCommand, kHwtPass);
    });
}

}  // namespace testbay::sim
