#include "device/enter_hardwaretest.h"

#include "comm/trace.h"
#include "device/device_state.h"

namespace testbay {

int EnterHardwaretest(CHwtV4Client& client) {
    TraceLine("CHwtV4Client::EnterHardwaretest");
    if (client.FindBaudrate() == 0) {
        client.SetKnownDeviceState(kStateHardwareTest);
        return 1;
    }
    uint32_t state = kStateUnknown;
    const int searched = GetDeviceState(client.Channel(), state);
    client.SetKnownDeviceState(state);
    if (searched != 0) return 0;
    if (state != kStateHardwareTest &&
        SetDeviceState(client.Channel(), state, kStateHardwareTest, 1, 0) != kStateHardwareTest) {
        return 0;
    }
    return client.FindBaudrate() == 0 ? 1 : 0;
}

void ReturnToFoundState(CHwtV4Client& client, uint32_t foundState) {
    if (foundState == kStateBootSystem) {
        client.Reset(kResetIntoBootSystem);
    } else if (foundState == kStateApplication) {
        client.Reset(kResetIntoApplication);
    }
}

}  // namespace testbay
