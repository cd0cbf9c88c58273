#include <algorithm>
#include <limits>

#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {
// What one answer block can carry.
constexpr uint32_t kMaxReadLength = 251;
constexpr uint32_t kMaxCopyLength = 0x01000000;
constexpr int32_t kFirstModuleMemory = 10;

// The area `index` when it holds the whole range, else nullptr.
MemoryArea* AreaHolding(MemoryState& memory, int32_t index, uint32_t address, uint64_t length) {
    const auto found = memory.areas.find(index);
    if (found == memory.areas.end() || !found->second.Holds(address, length)) return nullptr;
    return &found->second;
}

// Copies address the CPU's memories by address alone: the smallest area that
// holds the whole range.
MemoryArea* CpuAreaHolding(MemoryState& memory, uint32_t address, uint64_t length) {
    MemoryArea* best = nullptr;
    for (auto& [index, area] : memory.areas) {
        if (index >= kFirstModuleMemory || !area.Holds(address, length)) continue;
        if (best == nullptr || area.size < best->size) best = &area;
    }
    return best;
}

// Flash takes only data that clears bits of what it holds.
bool CanProgram(const MemoryArea& area, uint32_t address, const std::vector<uint8_t>& data) {
    if (!area.IsFlash()) return true;
    for (size_t index = 0; index < data.size(); ++index) {
        const uint8_t held = area.Read(address + static_cast<uint32_t>(index));
        if ((held & data[index]) != data[index]) return false;
    }
    return true;
}

// Flash erases whole sectors.
void Erase(MemoryArea& area, uint32_t address, uint32_t length) {
    uint64_t first = address;
    uint64_t end = uint64_t{address} + length;
    if (area.IsFlash() && area.sectorSize != 0) {
        first = area.start + (first - area.start) / area.sectorSize * area.sectorSize;
        end = area.start + (end - area.start + area.sectorSize - 1) / area.sectorSize * area.sectorSize;
    }
    const auto from = area.bytes.lower_bound(static_cast<uint32_t>(first));
    const auto to = end > std::numeric_limits<uint32_t>::max() ? area.bytes.end()
                                                               : area.bytes.lower_bound(static_cast<uint32_t>(end));
    area.bytes.erase(from, to);
}

uint8_t XorOf(const MemoryArea& area, uint32_t address, uint32_t length) {
    const uint64_t end = uint64_t{address} + length;
    uint8_t sum = 0;
    uint64_t written = 0;
    for (auto byte = area.bytes.lower_bound(address); byte != area.bytes.end() && byte->first < end; ++byte) {
        sum ^= byte->second;
        ++written;
    }
    // The bytes never written all read as the fill byte: pairs of them cancel out.
    if ((length - written) % 2 == 1) sum ^= area.fill;
    return sum;
}

std::vector<uint8_t> CountAnswer(const MemoryState& memory) {
    const auto count = std::count_if(memory.areas.begin(), memory.areas.end(),
                                     [](const auto& area) { return area.first < kFirstModuleMemory; });
    return EncodeHwtAnswer(kMemoryCountCommand, kHwtPass, {AnswerScalar(static_cast<int32_t>(count))});
}

std::vector<uint8_t> InfoAnswer(const MemoryState& memory, const HwtRequestFrame& request) {
    if (request.scalars.size() != 1) return FailAnswer(kMemoryInfoCommand);
    const auto found = memory.areas.find(request.scalars[0]);
    if (found == memory.areas.end()) return FailAnswer(kMemoryInfoCommand);
    const MemoryArea& area = found->second;
    return EncodeHwtAnswer(
        kMemoryInfoCommand, kHwtPass,
        {AnswerScalar(static_cast<int32_t>(area.start)), AnswerScalar(static_cast<int32_t>(area.size)),
         AnswerScalar(static_cast<int32_t>(area.sectorSize)), AnswerScalar(static_cast<int32_t>(area.attributes))});
}

std::vector<uint8_t> ReadAnswer(MemoryState& memory, const HwtRequestFrame& request) {
    if (request.scalars.size() != 3) return FailAnswer(kReadCommand);
    const auto address = static_cast<uint32_t>(request.scalars[1]);
    const auto length = static_cast<uint32_t>(request.scalars[2]);
    const MemoryArea* area = AreaHolding(memory, request.scalars[0], address, length);
    if (area == nullptr || length > kMaxReadLength) return FailAnswer(kReadCommand);
    HwtAnswerField block{HwtAnswerField::Kind::Block, 0, {}};
    for (uint32_t offset = 0; offset < length; ++offset) block.bytes.push_back(area->Read(address + offset));
    return EncodeHwtAnswer(kReadCommand, kHwtPass, {block});
}

std::vector<uint8_t> WriteAnswer(MemoryState& memory, const HwtRequestFrame& request) {
    if (request.scalars.size() != 2 || request.blocks.size() != 1) return FailAnswer(kWriteCommand);
    const auto address = static_cast<uint32_t>(request.scalars[1]);
    const std::vector<uint8_t>& data = request.blocks[0];
    MemoryArea* area = AreaHolding(memory, request.scalars[0], address, data.size());
    if (area == nullptr || !CanProgram(*area, address, data)) return FailAnswer(kWriteCommand);
    area->Write(address, data.data(), data.size());
    return StatusAnswer(kWriteCommand, memory.writesAnswerDone ? kHwtDone : kHwtPass);
}

// Erase, test and checksum take an index, an address and a length.
MemoryArea* RangeOf(MemoryState& memory, const HwtRequestFrame& request) {
    if (request.scalars.size() != 3) return nullptr;
    return AreaHolding(memory, request.scalars[0], static_cast<uint32_t>(request.scalars[1]),
                       static_cast<uint32_t>(request.scalars[2]));
}

std::vector<uint8_t> EraseAnswer(MemoryState& memory, const HwtRequestFrame& request) {
    MemoryArea* area = RangeOf(memory, request);
    if (area == nullptr) return FailAnswer(kEraseCommand);
    Erase(*area, static_cast<uint32_t>(request.scalars[1]), static_cast<uint32_t>(request.scalars[2]));
    return PassAnswer(kEraseCommand);
}

std::vector<uint8_t> TestAnswer(MemoryState& memory, const HwtRequestFrame& request) {
    const MemoryArea* area = RangeOf(memory, request);
    return area == nullptr || area->defective ? FailAnswer(kTestCommand) : PassAnswer(kTestCommand);
}

std::vector<uint8_t> XorAnswer(MemoryState& memory, const HwtRequestFrame& request) {
    const MemoryArea* area = RangeOf(memory, request);
    if (area == nullptr) return FailAnswer(kXorCommand);
    const uint8_t sum =
        XorOf(*area, static_cast<uint32_t>(request.scalars[1]), static_cast<uint32_t>(request.scalars[2]));
    return EncodeHwtAnswer(kXorCommand, kHwtPass, {AnswerScalar(sum)});
}

// Source address, destination address and length.
std::vector<uint8_t> CopyAnswer(MemoryState& memory, const HwtRequestFrame& request) {
    if (request.scalars.size() != 3) return FailAnswer(kCopyCommand);
    const auto source = static_cast<uint32_t>(request.scalars[0]);
    const auto destination = static_cast<uint32_t>(request.scalars[1]);
    const auto length = static_cast<uint32_t>(request.scalars[2]);
    const MemoryArea* from = CpuAreaHolding(memory, source, length);
    MemoryArea* to = CpuAreaHolding(memory, destination, length);
    if (from == nullptr || to == nullptr || length > kMaxCopyLength) return FailAnswer(kCopyCommand);
    std::vector<uint8_t> data(length);
    for (uint32_t offset = 0; offset < length; ++offset) data[offset] = from->Read(source + offset);
    if (!CanProgram(*to, destination, data)) return FailAnswer(kCopyCommand);
    to->Write(destination, data.data(), data.size());
    return PassAnswer(kCopyCommand);
}

// Sent without waiting for an answer: none goes out.
std::vector<uint8_t> Jump(MemoryState& memory, const HwtRequestFrame& request) {
    if (request.scalars.size() == 1) memory.jumpedTo = static_cast<uint32_t>(request.scalars[0]);
    return {};
}

std::vector<uint8_t> ParameterAddressAnswer(const MemoryState& memory) {
    std::vector<HwtAnswerField> fields;
    for (const int32_t value : memory.parameterAddresses) fields.push_back(AnswerScalar(value));
    return EncodeHwtAnswer(kParameterAddressCommand, kHwtPass, fields);
}

}  // namespace

void RegisterMemoryCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    MemoryState& memory = hardware.memory;
    firmware.Register(kMemoryCountCommand, [&memory](const HwtRequestFrame&) { return CountAnswer(memory); });
    firmware.Register(kMemoryInfoCommand,
                      [&memory](const HwtRequestFrame& request) { return InfoAnswer(memory, request); });
    firmware.Register(kReadCommand, [&memory](const HwtRequestFrame& request) { return ReadAnswer(memory, request); });
    firmware.Register(kWriteCommand,
                      [&memory](const HwtRequestFrame& request) { return WriteAnswer(memory, request); });
    firmware.Register(kEraseCommand,
                      [&memory](const HwtRequestFrame& request) { return EraseAnswer(memory, request); });
    firmware.Register(kTestCommand, [&memory](const HwtRequestFrame& request) { return TestAnswer(memory, request); });
    firmware.Register(kXorCommand, [&memory](const HwtRequestFrame& request) { return XorAnswer(memory, request); });
    firmware.Register(kCopyCommand, [&memory](const HwtRequestFrame& request) { return CopyAnswer(memory, request); });
    firmware.Register(kJumpCommand, [&memory](const HwtRequestFrame& request) { return Jump(memory, request); });
    firmware.Register(kParameterAddressCommand,
                      [&memory](const HwtRequestFrame&) { return ParameterAddressAnswer(memory); });
}

}  // namespace testbay::sim
