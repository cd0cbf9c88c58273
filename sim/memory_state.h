#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace testbay::sim {

// One memory area of the virtual relay. Bytes are kept sparsely, so any
// 32-bit address works; never written bytes read as `fill`.
struct MemoryArea {
    // Attribute bit 0: flash. Programming only clears bits; an erase sets
    // whole sectors back to `fill`.
    static constexpr uint32_t kFlash = 0x1;

    uint32_t start = 0;
    uint32_t size = 0;
    uint32_t attributes = 0;
    uint8_t fill = 0xFF;
    std::map<uint32_t, uint8_t> bytes;
    uint32_t sectorSize = 0;
    // A defective chip fails its memory test.
    bool defective = false;

    uint8_t Read(uint32_t address) const {
        const auto found = bytes.find(address);
        return found == bytes.end() ? fill : found->second;
    }
    void Write(uint32_t address, const uint8_t* data, size_t length) {
        for (size_t index = 0; index < length; ++index) bytes[address + static_cast<uint32_t>(index)] = data[index];
    }
    bool IsFlash() const { return (attributes & kFlash) != 0; }
    bool Holds(uint32_t address, uint64_t length) const {
        return address >= start && uint64_t{address} + length <= uint64_t{start} + size;
    }
};

// Memory areas by index; indices from 10 on are the memories of plug-in
// modules (module + 10).
struct MemoryState {
    std::map<int32_t, MemoryArea> areas = {
        {0, MemoryArea{0x00000000, 0x10000000, 0x0, 0x00, {}}},
        {1, MemoryArea{0x00800000, 0x00080000, MemoryArea::kFlash, 0xFF, {}, 0x10000}},
        {2, MemoryArea{0x01000000, 0x00200000, MemoryArea::kFlash, 0xFF, {}, 0x10000}},
    };
    // Active and backup parameter sets in flash: address and size of each.
    std::array<int32_t, 4> parameterAddresses = {0x00840000, 0x00010000, 0x00850000, 0x00010000};
    // Where the last jump command sent the CPU.
    std::optional<uint32_t> jumpedTo;
    // Writes are answered DONE instead of PASS, which makes the PC write again.
    bool writesAnswerDone = false;
};

}  // namespace testbay::sim
