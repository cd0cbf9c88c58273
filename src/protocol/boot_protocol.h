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

// The letters after kCommandStart: identify, set the transfer mode, restart.
enum BootCommand : uint8_t {
    kBootIdentify = 'I',
    kBootTransferMode = 'P',
    kBootRestart = 'R',
};
// The two letters after kBlockStart: what the block holds, and that it is written.
enum BootBlockKind : uint8_t {
    kBootBlockMlfb = 'M',
    kBootBlockSerialNumber = 'B',
    kBootBlockWrite = 'W',
};
// What kBootRestart starts.
enum BootStartCode : uint8_t {
    kStartHardwareTest = 4,
};

// Command telegrams and their answers are 18 bytes, block telegrams 1024;
// each ends in its CRC-16.
constexpr size_t kBootCommandSize = 18;
constexpr size_t kCommandAnswerSize = 18;
constexpr size_t kBootBlockSize = 1024;
// The order number travels as a zero-padded block of this size; the serial
// number fills at most the rest of a block telegram.
constexpr size_t kBootMlfbSize = 32;
constexpr size_t kBootSerialNumberSize = 1019;

}  // namespace testbay
