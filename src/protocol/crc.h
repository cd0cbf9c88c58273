#pragma once

#include <cstddef>
#include <cstdint>

namespace testbay {

// CRC-16 with polynomial 0x1021, register preset 0, no reflection and no
// final exclusive or. Over a telegram that ends in its own CRC (high byte
// first) it gives 0.
uint16_t Crc16Xmodem(const uint8_t* bytes, size_t length);

// CRC-32 with the reflected polynomial 0xEDB88320, register preset to all
// ones and no final inversion.
uint32_t Crc32Jam(const uint8_t* bytes, size_t length);

}  // namespace testbay
