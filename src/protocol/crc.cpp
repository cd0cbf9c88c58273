#include "protocol/crc.h"

#include <array>

namespace testbay {
namespace {

std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t crc = index << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[index] = static_cast<uint16_t>(crc);
    }
    return table;
}

std::array<uint32_t, 256> MakeCrc32Table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t crc = index;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        table[index] = crc;
    }
    return table;
}

}  // namespace

uint16_t Crc16Xmodem(const uint8_t* bytes, size_t length) {
    static const std::array<uint16_t, 256> table = MakeCrc16Table();
    uint16_t crc = 0;
    for (size_t index = 0; index < length; ++index) {
        crc = static_cast<uint16_t>((crc << 8) ^ table[((crc >> 8) ^ bytes[index]) & 0xFF]);
    }
    return crc;
}

uint32_t Crc32Jam(const uint8_t* bytes, size_t length) {
    static const std::array<uint32_t, 256> table = MakeCrc32Table();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t index = 0; index < length; ++index) crc = table[(crc ^ bytes[index]) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace testbay
