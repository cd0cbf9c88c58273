#pragma once

#include <cstdint>

#include "sim/analog_state.h"
#include "sim/front_panel_state.h"
#include "sim/identity_state.h"
#include "sim/memory_state.h"
#include "sim/serial_ports_state.h"

namespace testbay::sim {

// The plausible hardware of the virtual relay, one part per command group.
struct RelayHardware {
    IdentityState identity;
    FrontPanelState frontPanel;
    MemoryState memory;
    AnalogState analog;
    SerialPortsState serialPorts;
    // Set by a link baud-rate command; the model applies it after answering.
    uint32_t requestedLinkBaud = 0;
    // Set by the reset command (its mode); the model restarts after answering.
    int32_t requestedRestart = 0;
};

}  // namespace testbay::sim
