#include "sim/hwt_firmware.h"

namespace testbay::sim {

void RegisterMemoryCommands(HwtFirmware&, RelayHardware&) {}

}  // namespace testbay::sim
