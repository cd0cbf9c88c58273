#pragma once

#include <vector>

namespace testbay::sim {

// LEDs, display and keys of the virtual relay.
struct FrontPanelState {
    std::vector<bool> leds = std::vector<bool>(16, false);
};

}  // namespace testbay::sim
