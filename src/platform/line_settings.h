#pragma once

#include <cstddef>
#include <cstdint>

namespace testbay {

// Parity and stop bits keep the numbering of the serial settings that stored
// files and scripts use: parity 0 none, 1 odd, 2 even, 3 mark, 4 space;
// stop bits 0 one, 1 one and a half, 2 two.
enum ParityCode : int { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };
enum StopBitsCode : int { kStopOne = 0, kStopOneAndHalf = 1, kStopTwo = 2 };

struct LineSettings {
    uint32_t baud = 9600;
    int parity = kParityNone;
    int stopBits = kStopOne;

    bool operator==(const LineSettings&) const = default;
};

// The settings a serial device can take at all. Open checks them before it
// touches the device, so that an invalid request (one and a half stop bits)
// leaves the device as it was; a rate the driver refuses shows only later.
inline bool Acceptable(const LineSettings& settings) {
    return settings.baud != 0 && settings.parity >= kParityNone && settings.parity <= kParitySpace &&
           (settings.stopBits == kStopOne || settings.stopBits == kStopTwo);
}

// The time `bytes` take on a line: start bit, 8 data bits, the parity bit if
// any and the stop bits.
inline int64_t WireTimeUs(const LineSettings& settings, size_t bytes) {
    const int64_t bitsPerByte = 9 + (settings.parity != kParityNone ? 1 : 0) + (settings.stopBits == kStopTwo ? 2 : 1);
    return static_cast<int64_t>(bytes) * bitsPerByte * 1000000 / settings.baud;
}

}  // namespace testbay
