#pragma once

#include <cstddef>
#include <cstdint>

// What the PC and the relay's hardware-test firmware agree on at the line:
// the start byte, the status bytes and the sizes the client keeps.
namespace testbay {

// Device status bytes of a response, and what `telegramm` returns.
enum HwtStatus : uint32_t {
    kHwtFail = 0,
    kHwtPass = 1,
    kHwtDone = 2,
    kHwtCommandUnknown = 3,
    kHwtTimeout = 4,
    kHwtChecksumError = 12,
};

constexpr uint8_t kHwtStartByte = 0x68;
// The rate the hardware-test firmware starts at.
constexpr uint32_t kHwtStartBaud = 38400;
// Room for one text field of an answer, with its terminating zero.
constexpr size_t kHwtFieldTextSize = 50;
// The longest block an answer carries: its length is one byte.
constexpr size_t kHwtBlockSize = 255;
// The most block bytes one answer carries: its one-byte length also counts
// the echo, the status, the type byte and the block's own length byte.
constexpr size_t kHwtMaxAnswerBlock = 255 - 4;
// The longest block a request carries: its length is at most 16 bits.
constexpr size_t kMaxBlockLength = 0xFFFF;
// Blocks shorter than this carry a one-byte length; longer ones a zero byte
// and a 16-bit length.
constexpr size_t kHwtShortBlockLimit = 240;
// Requests with less parameter data than this end in a sum byte, longer ones
// in a CRC-32.
constexpr size_t kHwtShortFormLimit = 240;
// Only the first four fields have type bits; later ones are four-byte scalars.
constexpr size_t kHwtTypedFields = 4;

}  // namespace testbay
