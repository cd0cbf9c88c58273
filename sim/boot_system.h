#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/identity_state.h"

namespace testbay::sim {

// The relay's boot system: 18-byte command telegrams and 1024-byte block
// telegrams with a CRC-16, answered with ACK, NAK or an 18-byte answer.
class BootSystem {
public:
    struct Outcome {
        std::vector<std::vector<uint8_t>> answers;
        int restartCode = -1;  // set by 'R'
    };

    // `nakEvery` stays the relay's setting, so that it can change while running.
    BootSystem(IdentityState& identity, const uint32_t& nakEvery) : identity_(identity), nakEvery_(nakEvery) {}

    Outcome Receive(const uint8_t* bytes, size_t count);
    void Reset() { pending_.clear(); }

private:
    std::vector<uint8_t> Command(const uint8_t* telegram, int& restartCode);
    std::vector<std::vector<uint8_t>> Block(const uint8_t* telegram);
    bool NextAnswerIsNak();

    IdentityState& identity_;
    const uint32_t& nakEvery_;
    uint64_t answers_ = 0;
    std::vector<uint8_t> pending_;
};

}  // namespace testbay::sim
