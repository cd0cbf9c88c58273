#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testbay::sim {

// The relay's protection application as secondary station of the VDEW link:
// it acknowledges fixed-length frames from the PC and restarts into the
// hardware test when asked to reset its user process.
class VdewApplication {
public:
    struct Outcome {
        std::vector<std::vector<uint8_t>> answers;
        bool restartIntoHardwareTest = false;
    };

    Outcome Receive(const uint8_t* bytes, size_t count);
    void Reset() { pending_.clear(); }

private:
    std::vector<uint8_t> pending_;
};

}  // namespace testbay::sim
