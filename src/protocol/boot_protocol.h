#pragma once

#include <cstddef>
#include <cstdint>

// What the PC and the relay's boot system agree on at the line.
namespace testbay {

// Control characters of the boot system's update protocol.
enum UpdateControl : uint8_t {
    kAck = 0x06,
    kBel = 0x07,
    kCommandStart = 0x11,
    kBlockStart = 0x12,
    kNak = 0x15,
    kEtb = 0x17,
    kEsc = 0x1B,
};

// Command telegrams and their answers are 18 bytes, block telegrams 1024;
// each ends in its CRC-16.
constexpr size_t kBootCommandSize = 18;
constexpr size_t kCommandAnswerSize = 18;
constexpr size_t kBootBlockSize = 1024;

}  // namespace testbay
