#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/line_settings.h"
#include "sim/hwt_codec.h"
#include "sim/hwt_firmware.h"
#include "sim/line_peer.h"
#include "sim/relay_hardware.h"

namespace testbay::sim {

// The virtual relay. It listens at its own baud rate and parity only: bytes
// sent with other settings arrive as garbage and get no answer.
class RelayModel final : public LinePeer {
public:
    explicit RelayModel(LineSettings line = LineSettings{38400, kParityNone, kStopOne});

    // Bytes from the PC, sent with the PC side's settings; returns the answer
    // frames they complete, in order.
    std::vector<std::vector<uint8_t>> Receive(const uint8_t* bytes, size_t count,
                                              const LineSettings& pcSide) override;
    uint32_t Baud() const override { return line_.baud; }

    const LineSettings& Line() const { return line_; }
    void SetLine(const LineSettings& line) { line_ = line; }
    RelayHardware& Hardware() { return hardware_; }
    uint64_t RequestsSeen() const { return requestsSeen_; }

private:
    bool Understands(const LineSettings& pcSide) const;

    LineSettings line_;
    RelayHardware hardware_;
    HwtFirmware firmware_{hardware_};
    HwtRequestAssembler assembler_;
    uint64_t requestsSeen_ = 0;
};

}  // namespace testbay::sim
