#pragma once

#include <cstdint>
#include <vector>

#include "sim/line_peer.h"

namespace testbay::sim {

// Faults of a bad relay or a bad line, applied to the relay's answers.
struct FaultConfig {
    uint32_t dropEvery = 0;       // every n-th answer is lost
    uint32_t corruptEvery = 0;    // every n-th answer has a wrong checksum
    uint32_t wrongEchoEvery = 0;  // every n-th answer belongs to another request
    uint32_t delayMs = 0;         // extra time before each answer
    uint32_t noiseBytes = 0;      // line noise before each answer
    bool babble = false;          // after the first request the relay never stops sending
    bool silent = false;          // no answer at all
    uint32_t faultsAfter = 0;     // the faults above start after this many good answers
    uint32_t silentAfter = 0;     // after n answers the relay falls silent for good
    uint32_t hangUpAfter = 0;     // after n answers the next request finds the line gone
    uint32_t restartAfter = 0;    // after n answers the relay restarts ...
    uint32_t restartInto = 0;     // ... into this state (1 boot system, 2 application, 3 hardware test)
};

class FaultInjector {
public:
    explicit FaultInjector(FaultConfig config = {}) : config_(config) {}

    // The bytes that go out for one answer of `protocol`; empty when it is
    // lost. A wrong echo and a corruption take the form they have in that
    // protocol.
    std::vector<uint8_t> Apply(std::vector<uint8_t> answer, LineProtocol protocol);
    // Noise bytes; never a byte that begins an answer of `protocol`, so noise
    // alone completes nothing.
    std::vector<uint8_t> Noise(uint32_t count, LineProtocol protocol);
    // Whether the faults have begun (with the answer counted last).
    bool Active() const { return answers_ > config_.faultsAfter; }
    uint32_t DelayMs() const { return Active() ? config_.delayMs : 0; }
    bool Babbling() const { return config_.babble && answers_ >= config_.faultsAfter + 1; }
    // The line goes away before the next answer.
    bool HangUpDue() const { return config_.hangUpAfter != 0 && answers_ >= config_.hangUpAfter; }
    // The state to restart into right after this answer, or 0.
    uint32_t RestartDue() const {
        return config_.restartAfter != 0 && answers_ == config_.restartAfter ? config_.restartInto : 0;
    }
    void SetConfig(const FaultConfig& config) { config_ = config; }

private:
    static bool Hits(uint32_t every, uint64_t number) { return every != 0 && number % every == 0; }

    FaultConfig config_;
    uint64_t answers_ = 0;
    uint32_t noiseState_ = 0x1234567u;
};

}  // namespace testbay::sim
