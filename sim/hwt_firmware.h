#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "protocol/hwt_protocol.h"
#include "sim/hwt_codec.h"
#include "sim/relay_hardware.h"

namespace testbay::sim {

// The relay's hardware-test firmware: one handler per command code, each
// command group registering its own (hwt_<group>.cpp).
class HwtFirmware {
public:
    using Handler = std::function<std::vector<uint8_t>(const HwtRequestFrame& request)>;

    explicit HwtFirmware(RelayHardware& hardware);

    // The answer frame for one request: empty for the commands the PC sends
    // without waiting; unknown codes get status 3.
    std::vector<uint8_t> Answer(const HwtRequestFrame& request);
    void Register(uint8_t command, Handler handler) { handlers_[command] = std::move(handler); }

private:
    std::map<uint8_t, Handler> handlers_;
};

// The command groups.
void RegisterIdentityCommands(HwtFirmware& firmware, RelayHardware& hardware);
void RegisterFrontPanelCommands(HwtFirmware& firmware, RelayHardware& hardware);
void RegisterBinaryIoCommands(HwtFirmware& firmware, RelayHardware& hardware);
void RegisterMemoryCommands(HwtFirmware& firmware, RelayHardware& hardware);
void RegisterAnalogCommands(HwtFirmware& firmware, RelayHardware& hardware);
void RegisterSerialPortCommands(HwtFirmware& firmware, RelayHardware& hardware);

// An answer without fields.
inline std::vector<uint8_t> StatusAnswer(uint8_t command, uint8_t status) {
    return EncodeHwtAnswer(command, status, {});
}

using AnswerFields = std::vector<HwtAnswerField>;
inline std::vector<uint8_t> PassAnswer(uint8_t command, const AnswerFields& fields = {}) {
    return EncodeHwtAnswer(command, kHwtPass, fields);
}
inline std::vector<uint8_t> FailAnswer(uint8_t command, const AnswerFields& fields = {}) {
    return EncodeHwtAnswer(command, kHwtFail, fields);
}

}  // namespace testbay::sim
