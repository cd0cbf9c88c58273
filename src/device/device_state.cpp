#include "device/device_state.h"

#include <set>

#include "bootlink/v4_update.h"
#include "comm/channel.h"
#include "comm/trace.h"
#include "device/vdew_client.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "platform/line_settings.h"
#include "protocol/boot_protocol.h"

namespace testbay {
namespace {

constexpr int kWaitTries = 15;
constexpr int kWaitStepMs = 300;
constexpr int kRestartRequestTimeoutMs = 150;

// Each probe builds its own client and lets it go again, so that no link
// state carries over to the next probe.
bool Answers(int channel, uint32_t state) {
    switch (state) {
    case kStateBootSystem: {
        CV4Update update(channel, ComGetBaud(channel));
        return update.Connect() == kUpdateOk;
    }
    case kStateApplication: {
        CVDEWClient vdew(channel);
        return vdew.ConnectV4(0, nullptr) == 0;
    }
    default: {
        CHwtV4Client hwt(channel);
        return hwt.FindBaudrate() == 0;
    }
    }
}

const char* FoundText(uint32_t state) {
    switch (state) {
    case kStateBootSystem: return "Boot active";
    case kStateApplication: return "Application active";
    default: return "HWT active";
    }
}

uint32_t NextState(uint32_t state) {
    switch (state) {
    case kStateBootSystem: return kStateApplication;
    case kStateApplication: return kStateHardwareTest;
    default: return kStateBootSystem;
    }
}

uint32_t Finish(uint32_t result) {
    LogPrintf("SetDeviceState -> %i", static_cast<int>(result));
    return result;
}

}  // namespace

int GetDeviceState(int channel, uint32_t& state) {
    std::set<uint32_t> toProbe{kStateBootSystem, kStateApplication, kStateHardwareTest};
    uint32_t next = state;
    state = kStateUnknown;
    int result = kStateUnknown;
    while (!toProbe.empty()) {
        if (toProbe.erase(next) != 0 && Answers(channel, next)) {
            LogPrintf("%s", FoundText(next));
            state = next;
            result = 0;
            break;
        }
        next = NextState(next);
    }
    LogPrintf("GetDeviceState -> %i", result);
    return result;
}

int WaitHwt(int channel) {
    ComBaud(channel, kHwtStartBaud);
    ComParity(channel, kParityNone, kStopOne);
    CHwtV4Client hwt(channel);
    int result = 1;
    for (int attempt = 0; attempt < kWaitTries && result != 0; ++attempt) {
        ProcessClock().SleepMs(kWaitStepMs);
        if (hwt.SetLed(1, 1) == 1 && hwt.DeviceStatus() == kHwtPass) result = 0;
    }
    LogPrintf("WaitHwt() %i", result);
    return result;
}

uint32_t SetDeviceState(int channel, uint32_t from, uint32_t to, uint32_t /*wait*/, uint32_t /*restart*/) {
    uint32_t wanted = to;
    if (from == kStateBootSystem) {
        LogPrintf("Boot -> Hwt");
        {
            CV4Update update(channel, ComGetBaud(channel));
            update.Reset(kStartHardwareTest);
        }
        if (WaitHwt(channel) == 0) return Finish(kStateHardwareTest);
        from = kStateHardwareTest;
    } else if (from == kStateApplication) {
        LogPrintf("App -> Hwt");
        {
            CVDEWClient vdew(channel);
            vdew.SendShort(CVDEWClient::kResetUserProcess, kRestartRequestTimeoutMs);
        }
        from = WaitHwt(channel) == 0 ? kStateHardwareTest : kStateUnknown;
    }
    if (from != kStateHardwareTest) wanted = kStateUnknown;

    uint32_t found = from;
    if (GetDeviceState(channel, found) != 0) return Finish(kStateUnknown);
    if (found == wanted) return Finish(found);

    // One more look; the change counts as unconfirmed whatever it finds.
    found = kStateUnknown;
    GetDeviceState(channel, found);
    return Finish(kStateUnknown);
}

}  // namespace testbay
