#pragma once

#include <string>
#include <vector>

namespace testbay::sim {

// Identity, clock, watchdog and error records of the virtual relay.
struct IdentityState {
    std::string cpuType = "MBX2";
    std::string hardwareVersion = "HW 03";
    std::vector<std::string> versions = {"BS V04.10.02", "HWT V04.20.01", "APP V04.70.15", "V04.70.15"};
    std::string mlfb = "7SJ6425-5EB92-3FC1+L2A";
    std::string serialNumber = "BF0712345678";
    // Whether the firmware knows the order and serial number writes (0x85,
    // 0x84); older firmware leaves them to the boot system.
    bool writesIdentity = true;
};

}  // namespace testbay::sim
