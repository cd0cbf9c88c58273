#include "sim/hwt_firmware.h"

#include <algorithm>

#include "hwt/hwt_client.h"

namespace testbay::sim {
namespace {

constexpr uint8_t kBaudrateCommand = 0x2B;
constexpr uint8_t kLedCommand = 0x0E;
constexpr uint8_t kIdentityCommand = 0x6F;
constexpr uint32_t kLinkRates[] = {38400, 57600, 115200, 153600, 230400};

std::vector<uint8_t> Status(uint8_t command, uint8_t status) { return EncodeHwtAnswer(command, status, {}); }

}  // namespace

std::vector<uint8_t> HwtFirmware::Answer(const HwtRequestFrame& request) {
    if (!request.checksumOk) return Status(request.command, kHwtChecksumError);
    switch (request.command) {
    case kLedCommand: return Leds(request);
    case kIdentityCommand: return Identity(request);
    case kBaudrateCommand: return Baudrate(request);
    default: return Status(request.command, kHwtCommandUnknown);
    }
}

uint32_t HwtFirmware::TakeRequestedBaud() {
    const uint32_t baud = requestedBaud_;
    requestedBaud_ = 0;
    return baud;
}

std::vector<uint8_t> HwtFirmware::Leds(const HwtRequestFrame& request) {
    auto& leds = hardware_.leds;
    const auto count = static_cast<int32_t>(leds.size());
    if (request.scalars.empty()) return EncodeHwtAnswer(kLedCommand, kHwtPass, {AnswerScalar(count)});
    const int32_t led = request.scalars[0];
    if (led < 1 || led > count) return Status(kLedCommand, kHwtFail);
    if (request.scalars.size() == 1) {
        return EncodeHwtAnswer(kLedCommand, kHwtPass, {AnswerScalar(leds[static_cast<size_t>(led - 1)] ? 1 : 0)});
    }
    leds[static_cast<size_t>(led - 1)] = request.scalars[1] == 1;
    return Status(kLedCommand, kHwtPass);
}

std::vector<uint8_t> HwtFirmware::Identity(const HwtRequestFrame& request) {
    if (request.scalars.empty()) {
        return EncodeHwtAnswer(kIdentityCommand, kHwtPass,
                               {AnswerText(hardware_.cpuType), AnswerText(hardware_.hardwareVersion)});
    }
    const int32_t index = request.scalars[0];
    if (index < 0 || static_cast<size_t>(index) >= hardware_.versions.size()) {
        return Status(kIdentityCommand, kHwtFail);
    }
    return EncodeHwtAnswer(kIdentityCommand, kHwtPass,
                           {AnswerText(hardware_.cpuType), AnswerText(hardware_.versions[static_cast<size_t>(index)])});
}

std::vector<uint8_t> HwtFirmware::Baudrate(const HwtRequestFrame& request) {
    if (request.scalars.size() < 2) return Status(kBaudrateCommand, kHwtFail);
    const auto baud = static_cast<uint32_t>(request.scalars[1]);
    if (std::find(std::begin(kLinkRates), std::end(kLinkRates), baud) == std::end(kLinkRates)) {
        return Status(kBaudrateCommand, kHwtFail);
    }
    requestedBaud_ = baud;
    return Status(kBaudrateCommand, kHwtPass);
}

}  // namespace testbay::sim
