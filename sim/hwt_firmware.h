#pragma once

#include <cstdint>
#include <vector>

#include "sim/hwt_codec.h"
#include "sim/relay_hardware.h"

namespace testbay::sim {

// The relay's hardware-test firmware: answers each request telegram.
class HwtFirmware {
public:
    explicit HwtFirmware(RelayHardware& hardware) : hardware_(hardware) {}

    // The answer frame for one request (never empty: unknown codes get status 3).
    std::vector<uint8_t> Answer(const HwtRequestFrame& request);
    // Set by a baud-rate change command; the host applies it after answering.
    uint32_t TakeRequestedBaud();

private:
    std::vector<uint8_t> Leds(const HwtRequestFrame& request);
    std::vector<uint8_t> Identity(const HwtRequestFrame& request);
    std::vector<uint8_t> Baudrate(const HwtRequestFrame& request);

    RelayHardware& hardware_;
    uint32_t requestedBaud_ = 0;
};

}  // namespace testbay::sim
