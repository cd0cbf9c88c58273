#include "sim/hwt_firmware.h"

#include "protocol/hwt_protocol.h"

namespace testbay::sim {

HwtFirmware::HwtFirmware(RelayHardware& hardware) {
    RegisterIdentityCommands(*this, hardware);
    RegisterFrontPanelCommands(*this, hardware);
    RegisterBinaryIoCommands(*this, hardware);
    RegisterMemoryCommands(*this, hardware);
    RegisterAnalogCommands(*this, hardware);
    RegisterSerialPortCommands(*this, hardware);
}

std::vector<uint8_t> HwtFirmware::Answer(const HwtRequestFrame& request) {
    if (!request.checksumOk) return StatusAnswer(request.command, kHwtChecksumError);
    const auto handler = handlers_.find(request.command);
    if (handler == handlers_.end()) return StatusAnswer(request.command, kHwtCommandUnknown);
    return handler->second(request);
}

}  // namespace testbay::sim
