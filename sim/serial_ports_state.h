#pragma once

namespace testbay::sim {

// The relay's own serial ports, bus and plug-in modules.
struct SerialPortsState {};

}  // namespace testbay::sim
