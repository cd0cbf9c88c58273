#include <algorithm>

#include "bootlink/v4_update.h"
#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "protocol/boot_protocol.h"

namespace testbay {
namespace {

constexpr uint32_t kBootBaud = 38400;
constexpr size_t kMaxTextLength = 255;

std::string Bounded(const std::string& text) { return text.substr(0, std::min(text.size(), kMaxTextLength)); }

const uint8_t* Bytes(const std::string& text) { return reinterpret_cast<const uint8_t*>(text.c_str()); }

}  // namespace

int CHwtV4Client::SetMlfbThroughBootSystem(const std::string& text) {
    const std::string mlfb = Bounded(text);
    Reset(kResetIntoBootSystem);
    ProcessClock().SleepMs(4000);
    ComBaud(channel_, kBootBaud);
    CV4Update update(channel_, kBootBaud);
    const bool written = update.Connect() == kUpdateOk && update.SetMlfb(Bytes(mlfb), mlfb.size()) == kUpdateOk;
    update.Reset(kStartHardwareTest);
    ComBaud(channel_, kBootBaud);
    ProcessClock().SleepMs(1000);
    return written ? 1 : 0;
}

int CHwtV4Client::SetSerialNumberThroughBootSystem(const std::string& text) {
    const std::string serialNumber = Bounded(text);
    Reset(kResetIntoBootSystem);
    ProcessClock().SleepMs(2000);
    ComBaud(channel_, kBootBaud);
    CV4Update update(channel_, kBootBaud);
    update.Connect();
    update.SetBFNr(Bytes(serialNumber), serialNumber.size());
    update.Reset(kStartHardwareTest);
    ComBaud(channel_, kBootBaud);
    ProcessClock().SleepMs(4000);
    return 1;
}

}  // namespace testbay
