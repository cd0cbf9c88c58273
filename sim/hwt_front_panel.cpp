#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {
constexpr int32_t kDisplayPatterns = 8;
constexpr int32_t kMaxContrast = 63;
constexpr int32_t kNoKeyPressed = 0xFFFF;

bool OneScalarIn(const HwtRequestFrame& request, int32_t low, int32_t high) {
    return request.scalars.size() == 1 && request.scalars[0] >= low && request.scalars[0] <= high;
}

std::vector<uint8_t> LedAnswer(std::vector<bool>& leds, const HwtRequestFrame& request) {
    const auto count = static_cast<int32_t>(leds.size());
    if (request.scalars.empty()) return EncodeHwtAnswer(kLedCommand, kHwtPass, {AnswerScalar(count)});
    const int32_t led = request.scalars[0];
    if (led < 1 || led > count) return FailAnswer(kLedCommand);
    if (request.scalars.size() == 1) {
        return EncodeHwtAnswer(kLedCommand, kHwtPass, {AnswerScalar(leds[static_cast<size_t>(led - 1)] ? 1 : 0)});
    }
    leds[static_cast<size_t>(led - 1)] = request.scalars[1] == 1;
    return PassAnswer(kLedCommand);
}

// No field sets the display back to its resting pattern; a field shows a test pattern.
std::vector<uint8_t> DisplayAnswer(const HwtRequestFrame& request) {
    if (request.scalars.empty() || OneScalarIn(request, 0, kDisplayPatterns - 1)) return PassAnswer(kDisplayCommand);
    return FailAnswer(kDisplayCommand);
}

std::vector<uint8_t> ContrastAnswer(FrontPanelState& panel, const HwtRequestFrame& request) {
    if (request.scalars.empty()) {
        return EncodeHwtAnswer(kContrastCommand, kHwtPass, {AnswerScalar(panel.displayContrast)});
    }
    if (!OneScalarIn(request, 0, kMaxContrast)) return FailAnswer(kContrastCommand);
    panel.displayContrast = request.scalars[0];
    return PassAnswer(kContrastCommand);
}

std::vector<uint8_t> KeyswitchAnswer(const FrontPanelState& panel, const HwtRequestFrame& request) {
    if (!OneScalarIn(request, 1, static_cast<int32_t>(panel.keyswitches.size()))) return FailAnswer(kKeyswitchCommand);
    return EncodeHwtAnswer(kKeyswitchCommand, kHwtPass,
                           {AnswerScalar(panel.keyswitches[static_cast<size_t>(request.scalars[0] - 1)])});
}

std::vector<uint8_t> KeyPressedAnswer(FrontPanelState& panel) {
    int32_t key = kNoKeyPressed;
    if (!panel.keysPressed.empty()) {
        key = panel.keysPressed.front();
        panel.keysPressed.pop_front();
    }
    return EncodeHwtAnswer(kKeyPressedCommand, kHwtPass, {AnswerScalar(key)});
}

// Switches an on/off output from a request with the one field 0 or 1.
std::vector<uint8_t> SwitchAnswer(uint8_t command, bool& output, const HwtRequestFrame& request) {
    if (!OneScalarIn(request, 0, 1)) return FailAnswer(command);
    output = request.scalars[0] == 1;
    return PassAnswer(command);
}

}  // namespace

void RegisterFrontPanelCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    FrontPanelState& panel = hardware.frontPanel;
    firmware.Register(kLedCommand, [&panel](const HwtRequestFrame& request) { return LedAnswer(panel.leds, request); });
    firmware.Register(kGokCommand, [&panel](const HwtRequestFrame& request) {
        return SwitchAnswer(kGokCommand, panel.gok, request);
    });
    firmware.Register(kDisplayLightCommand, [&panel](const HwtRequestFrame& request) {
        return SwitchAnswer(kDisplayLightCommand, panel.displayLight, request);
    });
    firmware.Register(kDisplayCommand, DisplayAnswer);
    firmware.Register(kContrastCommand,
                      [&panel](const HwtRequestFrame& request) { return ContrastAnswer(panel, request); });
    firmware.Register(kKeyswitchCommand,
                      [&panel](const HwtRequestFrame& request) { return KeyswitchAnswer(panel, request); });
    firmware.Register(kKeyPressedCommand, [&panel](const HwtRequestFrame&) { return KeyPressedAnswer(panel); });
}

}  // namespace testbay::sim
