#include "sim/hwt_firmware.h"

namespace testbay::sim {

void RegisterAnalogCommands(HwtFirmware&, RelayHardware&) {}

}  // namespace testbay::sim
