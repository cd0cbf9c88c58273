#include "bootlink/crc16.h"

#include <array>

namespace testbay {
namespace {

std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t crc = index << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[index] = static_cast<uint16_t>(crc);
    }
    return table;
}

}  // namespace

uint16_t Crc16Xmodem(const uint8_t* bytes, size_t length) {
    static const std::array<uint16_t, 256> table = MakeTable();
    uint16_t crc = 0;
    for (size_t index = 0; index < length; ++index) {
        crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ bytes[index]) & 0xFF]);
    }
    return crc;
}

}  // namespace testbay
