#include "sim/hwt_firmware.h"

namespace testbay::sim {

void RegisterBinaryIoCommands(HwtFirmware&, RelayHardware&) {}

}  // namespace testbay::sim
