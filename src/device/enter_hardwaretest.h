#pragma once

#include "hwt/hwt_client.h"

namespace testbay {

// Brings the relay on the client's channel into the hardware test from
// whatever state it is in: the hardware test itself, the boot system or the
// protection application. 1 when the hardware-test firmware answers.
int EnterHardwaretest(CHwtV4Client& client);

}  // namespace testbay
