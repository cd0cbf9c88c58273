#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

namespace testbay::sim {

// One memory area of the virtual relay. Bytes are kept sparsely, so any
// 32-bit address works; never written bytes read as `fill`.
struct MemoryArea {
    uint32_t start = 0;
    uint32_t size = 0;
    uint32_t attributes = 0;
    uint8_t fill = 0xFF;
    std::map<uint32_t, uint8_t> bytes;

    uint8_t Read(uint32_t address) const {
        const auto found = bytes.find(address);
        return found == bytes.end() ? fill : found->second;
    }
    void Write(uint32_t address, const uint8_t* data, size_t length) {
        for (size_t index = 0; index < length; ++index) bytes[address + static_cast<uint32_t>(index)] = data[index];
    }
};

// Memory areas by index; indices from 10 on are the memories of plug-in
// modules (module + 10).
struct MemoryState {
    std::map<int32_t, MemoryArea> areas = {
        {0, MemoryArea{0x00000000, 0x10000000, 0x0, 0x00, {}}},
        {1, MemoryArea{0x00800000, 0x00080000, 0x1, 0xFF, {}}},
        {2, MemoryArea{0x01000000, 0x00200000, 0x1, 0xFF, {}}},
    };
};

}  // namespace testbay::sim
