#include "comm/trace.h"
#include "device/device_state.h"
#include "hwt/hwt_client.h"

namespace testbay {

int CHwtV4Client::EnterHardwaretest() {
    TraceLine("CHwtV4Client::EnterHardwaretest");
    if (FindBaudrate() == 0) {
        deviceState_ = kStateHardwareTest;
        return 1;
    }
    deviceState_ = kStateUnknown;
    if (GetDeviceState(channel_, deviceState_) != 0) return 0;
    if (deviceState_ != kStateHardwareTest &&
        SetDeviceState(channel_, deviceState_, kStateHardwareTest, 1, 0) != kStateHardwareTest) {
        return 0;
    }
    return FindBaudrate() == 0 ? 1 : 0;
}

}  // namespace testbay
