#pragma once

#include <string>

#include "hwt/hwt_client.h"

namespace testbay {

// Brings the relay on the client's channel into the hardware test from
// whatever state it is in: the hardware test itself, the boot system or the
// protection application. 1 when the hardware-test firmware answers.
int EnterHardwaretest(CHwtV4Client& client);
// The same; on failure `failure` says why for the user (what answered, what
// was tried), and the trace has it too.
int EnterHardwaretest(CHwtV4Client& client, std::string& failure);

// Restarts the relay on the client's channel into the firmware it was found
// in before EnterHardwaretest switched it: the boot system or the protection
// application. A relay found in the hardware test (or in no known state) is
// left as it is.
void ReturnToFoundState(CHwtV4Client& client, uint32_t foundState);

}  // namespace testbay
