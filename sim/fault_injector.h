#pragma once

#include <cstdint>
#include <vector>

namespace testbay::sim {

// Faults of a bad relay or a bad line, applied to the relay's answers.
struct FaultConfig {
    uint32_t dropEvery = 0;       // every n-th answer is lost
    uint32_t corruptEvery = 0;    // every n-th answer has a wrong checksum
    uint32_t wrongEchoEvery = 0;  // every n-th answer echoes another command
    uint32_t delayMs = 0;         // extra time before each answer
    uint32_t noiseBytes = 0;      // line noise before each answer
    bool babble = false;          // after the first request the relay never stops sending
    bool silent = false;          // no answer at all
};

class FaultInjector {
public:
    explicit FaultInjector(FaultConfig config = {}) : config_(config) {}

    // The bytes that go out for one answer frame; empty when it is lost.
    std::vector<uint8_t> Apply(std::vector<uint8_t> answer);
    // Noise bytes; never the start byte of a frame, so noise alone completes
    // nothing.
    std::vector<uint8_t> Noise(uint32_t count);
    const FaultConfig& Config() const { return config_; }
    void SetConfig(const FaultConfig& config) { config_ = config; }

private:
    static bool Hits(uint32_t every, uint64_t number) { return every != 0 && number % every == 0; }

    FaultConfig config_;
    uint64_t answers_ = 0;
    uint32_t noiseState_ = 0x1234567u;
};

}  // namespace testbay::sim
