#pragma once

#include <cstdint>

// Which firmware a relay runs, and how the PC asks the hardware-test
// firmware to restart it: the PC's device-state control and the relay agree
// on these numbers.
namespace testbay {

enum DeviceState : uint32_t {
    kStateBootSystem = 1,
    kStateApplication = 2,
    kStateHardwareTest = 3,
    kStateUnknown = 4,
};

// The mode of the hardware-test reset command: where the relay restarts.
// Any other mode restarts the hardware test itself.
enum HwtResetMode : int32_t {
    kResetIntoBootSystem = 1,
    // The relay also takes kStateApplication (2) for this.
    kResetIntoApplication = 5,
};

}  // namespace testbay
