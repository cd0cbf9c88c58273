#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/line_settings.h"

namespace testbay::sim {

// The protocol the relay end speaks: faults on the line take its form.
enum class LineProtocol { HardwareTest, BootSystem, Application };

// Whatever sits at the relay end of a line: the relay model, or a scripted
// peer in tests.
class LinePeer {
public:
    virtual ~LinePeer() = default;
    // Bytes from the PC with the PC side's settings; the answers they complete.
    virtual std::vector<std::vector<uint8_t>> Receive(const uint8_t* bytes, size_t count,
                                                      const LineSettings& pcSide) = 0;
    // The rate the relay currently talks at (for wire timing).
    virtual uint32_t Baud() const = 0;
    virtual LineProtocol Protocol() const { return LineProtocol::HardwareTest; }
};

}  // namespace testbay::sim
