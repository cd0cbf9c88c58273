#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testbay::sim {

// The plausible hardware of the virtual relay.
struct RelayHardware {
    std::string cpuType = "MBX2";
    std::string hardwareVersion = "HW 03";
    std::vector<std::string> versions = {"BS V04.10.02", "HWT V04.20.01", "APP V04.70.15", "V04.70.15"};
    std::vector<bool> leds = std::vector<bool>(16, false);
};

}  // namespace testbay::sim
