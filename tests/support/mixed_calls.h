#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "hwt/hwt_client.h"

namespace testbay::test {

// What a run of mixed calls returned: a true result whose value belongs to
// another call is the fault a test stand cannot see.
struct MixedCallTally {
    int calls = 0;
    int trueResults = 0;
    int foreignValues = 0;
    std::string firstForeign;
};

// Calls whose answers name their request: LEDs switched one by one and read
// back, memory areas described by their start address, and memory blocks of
// contents that differ block by block.
class MixedCalls {
public:
    static constexpr int32_t kLeds = 8;
    static constexpr int32_t kBlocks = 8;
    static constexpr uint32_t kBlockSize = 16;
    static constexpr uint32_t kFirstBlock = 0x4000;
    static constexpr uint32_t kBlockStride = 0x100;
    // Start addresses of the virtual relay's memory areas 0, 1 and 2.
    static constexpr std::array<uint32_t, 3> kAreaStarts = {0x00000000, 0x00800000, 0x01000000};

    explicit MixedCalls(CHwtV4Client& client, uint32_t seed = 20) : client_(client), random_(seed) {}

    // Every LED off and every block written: true when the relay took all.
    bool Prepare() {
        bool taken = true;
        for (int32_t led = 1; led <= kLeds; ++led) taken = client_.SetLed(led, 0) == 1 && taken;
        for (int32_t block = 0; block < kBlocks; ++block) {
            taken = client_.WriteMemory(0, BlockAddress(block), BlockContents(block)) == 1 && taken;
        }
        return taken;
    }

    MixedCallTally Run(int calls) {
        MixedCallTally tally;
        for (int call = 0; call < calls; ++call) {
            ++tally.calls;
            switch (random_() % 4) {
            case 0: SwitchLed(tally); break;
            case 1: ReadLed(tally); break;
            case 2: DescribeArea(tally); break;
            default: ReadBlock(tally); break;
            }
        }
        return tally;
    }

private:
    static uint32_t BlockAddress(int32_t block) { return kFirstBlock + static_cast<uint32_t>(block) * kBlockStride; }
    static std::vector<uint8_t> BlockContents(int32_t block) {
        std::vector<uint8_t> contents(kBlockSize);
        for (uint32_t index = 0; index < kBlockSize; ++index) {
            contents[index] = static_cast<uint8_t>(block * 31 + static_cast<int32_t>(index) + 1);
        }
        return contents;
    }
    int32_t AnyLed() { return static_cast<int32_t>(random_() % kLeds) + 1; }

    void Count(MixedCallTally& tally, int result, bool right, const std::string& call) {
        if (result != 1) return;
        ++tally.trueResults;
        if (right) return;
        if (tally.foreignValues++ == 0) tally.firstForeign = call;
    }

    // Every request reaches the relay, so an LED holds what was last asked
    // for, whatever the result said.
    void SwitchLed(MixedCallTally& tally) {
        const int32_t led = AnyLed();
        const int32_t on = static_cast<int32_t>(random_() % 2);
        ledOn_[static_cast<size_t>(led - 1)] = on;
        Count(tally, client_.SetLed(led, on), true, "SetLed");
    }
    void ReadLed(MixedCallTally& tally) {
        const int32_t led = AnyLed();
        int32_t on = -1;
        const int result = client_.GetLed(led, on);
        Count(tally, result, on == ledOn_[static_cast<size_t>(led - 1)], "GetLed(" + std::to_string(led) + ")");
    }
    void DescribeArea(MixedCallTally& tally) {
        const auto index = static_cast<int32_t>(random_() % kAreaStarts.size());
        int32_t start = -1, size = 0, sector = 0, attributes = 0, flag1 = 0, flag2 = 0;
        const int result = client_.GetMemoryInfo(index, start, size, sector, attributes, flag1, flag2);
        Count(tally, result, static_cast<uint32_t>(start) == kAreaStarts[static_cast<size_t>(index)],
              "GetMemoryInfo(" + std::to_string(index) + ")");
    }
    void ReadBlock(MixedCallTally& tally) {
        const auto block = static_cast<int32_t>(random_() % kBlocks);
        std::vector<uint8_t> contents;
        const int result = client_.ReadMemory(0, BlockAddress(block), kBlockSize, contents);
        Count(tally, result, contents == BlockContents(block), "ReadMemory(block " + std::to_string(block) + ")");
    }

    CHwtV4Client& client_;
    std::mt19937 random_;
    std::array<int32_t, kLeds> ledOn_ = {};
};

}  // namespace testbay::test
