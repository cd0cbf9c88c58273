#pragma once

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

}  // namespace testbay
