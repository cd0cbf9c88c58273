#pragma once

namespace testbay::sim {

// Supplies, analog channels and calibration of the virtual relay.
struct AnalogState {};

}  // namespace testbay::sim
