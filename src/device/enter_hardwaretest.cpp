#include "device/enter_hardwaretest.h"

#include <span>

#include "bootlink/v4_update.h"
#include "comm/channel.h"
#include "comm/trace.h"
#include "device/device_state.h"
#include "device/vdew_client.h"

namespace testbay {
namespace {

std::string Rates(std::span<const uint32_t> rates) {
    std::string text;
    for (const uint32_t rate : rates) text += (text.empty() ? "" : ", ") + std::to_string(rate);
    return text + " bit/s";
}

const char* StateName(uint32_t state) {
    switch (state) {
    case kStateBootSystem: return "boot system";
    case kStateApplication: return "application";
    default: return "hardware test";
    }
}

std::string NoAnswerText(const std::string& port) {
    return "no answer from the relay on " + port + " in any state; tried the hardware test at " +
           Rates(CHwtV4Client::kSearchRates) + " without parity, the boot system at " + Rates(CV4Update::kBootRates) +
           " and the application at " + Rates(CVDEWClient::kDefaultProbeRates) +
           " with even and without parity (is the relay on and the cable in?)";
}

int Fail(std::string& failure, std::string text) {
    LogPrintf("EnterHardwaretest: %s", text.c_str());
    failure = std::move(text);
    return 0;
}

}  // namespace

int EnterHardwaretest(CHwtV4Client& client) {
    std::string failure;
    return EnterHardwaretest(client, failure);
}

int EnterHardwaretest(CHwtV4Client& client, std::string& failure) {
    failure.clear();
    TraceLine("CHwtV4Client::EnterHardwaretest");
    if (client.FindBaudrate() == 0) {
        client.SetKnownDeviceState(kStateHardwareTest);
        return 1;
    }
    const std::string port = ComPortLabel(client.Channel());
    uint32_t state = kStateUnknown;
    const int searched = GetDeviceState(client.Channel(), state);
    client.SetKnownDeviceState(state);
    if (searched != 0) return Fail(failure, NoAnswerText(port));
    if (state != kStateHardwareTest) {
        // The probe that found the relay left the channel at its rate.
        const uint32_t foundAt = ComGetBaud(client.Channel());
        if (SetDeviceState(client.Channel(), state, kStateHardwareTest, 1, 0) != kStateHardwareTest) {
            return Fail(failure, "the relay on " + port + " answered in its " + StateName(state) + " at " +
                                     std::to_string(foundAt) +
                                     " bit/s but did not answer in the hardware test after it was asked to restart "
                                     "into it");
        }
    }
    if (client.FindBaudrate() != 0) {
        return Fail(failure, "the relay on " + port + " reached the hardware test but then answered at none of " +
                                 Rates(CHwtV4Client::kSearchRates));
    }
    return 1;
}

void ReturnToFoundState(CHwtV4Client& client, uint32_t foundState) {
    if (foundState == kStateBootSystem) {
        client.Reset(kResetIntoBootSystem);
    } else if (foundState == kStateApplication) {
        client.Reset(kResetIntoApplication);
    }
}

}  // namespace testbay
