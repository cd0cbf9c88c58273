#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
constexpr int32_t kNoKeyPressed = 0xFFFF;

// LED patterns of SetLeds.
constexpr int32_t kAllLedsOff = 0;
constexpr int32_t kAllLedsOn = 1;
constexpr int32_t kOddLedsOn = 2;
constexpr int32_t kEvenLedsOn = 3;

bool LedOnInPattern(int32_t pattern, int32_t led) {
    switch (pattern) {
    case kAllLedsOn: return true;
    case kOddLedsOn: return led % 2 == 1;
    case kEvenLedsOn: return led % 2 == 0;
    default: return false;
    }
}

int32_t OnOff(int32_t on) { return on == 1 ? 1 : 0; }

// Whether the last telegram ended with an answer whose fields were parsed:
// PASS, DONE and FAIL carry fields; the other statuses leave the old ones.
bool AnswerCarriedFields(const CHwtV4Client& client) {
    const uint32_t status = client.DeviceStatus();
    const bool parsed = status == kHwtPass || status == kHwtDone || status == kHwtFail;
    return parsed && client.FieldCount() > 0;
}

}  // namespace

int CHwtV4Client::GetLedCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetLedCount");
    const int result = telegramm(kLedCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetLed(int32_t led, int32_t& on) {
    TraceLine("CHwtV4Client::GetLed");
    const int result = telegramm(kLedCommand, {Scalar(led)}, kQueryTimeoutMs);
    on = Field(0) != 0 ? 1 : 0;
    return result;
}

int CHwtV4Client::SetLed(int32_t led, int32_t on) {
    TraceLine("CHwtV4Client::SetLed");
    return telegramm(kLedCommand, {Scalar(led), Scalar(OnOff(on))}, kQueryTimeoutMs);
}

int CHwtV4Client::SetLeds(int32_t pattern) {
    TraceLine("CHwtV4Client::SetLeds");
    if (pattern < kAllLedsOff || pattern > kEvenLedsOn) return 0;
    int32_t count = 0;
    GetLedCount(count);
    // The count is this call's only when the relay's answer carried it, with
    // whatever status; after a time-out, an unknown command or a bare FAIL the
    // field still holds an older command's value, and walking that many LEDs
    // would keep a script waiting for minutes.
    if (!AnswerCarriedFields(*this)) return 0;
    // Only the LEDs switched on count, except when all go off.
    int result = 0;
    // A relay that stops answering is not asked about every LED of the count it sent.
    for (int32_t led = 1; led <= count && PcTimeoutRun() < kPcTimeoutRunLimit; ++led) {
        const bool on = LedOnInPattern(pattern, led);
        const int switched = SetLed(led, on ? 1 : 0);
        if (on || pattern == kAllLedsOff) result |= switched;
    }
    return result;
}

int CHwtV4Client::SetGok(int32_t on) {
    TraceLine("CHwtV4Client::SetGok");
    return telegramm(kGokCommand, {Scalar(OnOff(on))}, kQueryTimeoutMs);
}

int CHwtV4Client::GetKeyswitch(int32_t keyswitch, int32_t& state) {
    TraceLine("CHwtV4Client::GetKeyswitch");
    const int result = telegramm(kKeyswitchCommand, {Scalar(keyswitch)}, kQueryTimeoutMs);
    state = Field(0);
    return result;
}

int CHwtV4Client::InitDisplay() {
    TraceLine("CHwtV4Client::InitDisplay");
    return telegramm(kDisplayCommand, {}, kQueryTimeoutMs);
}

int CHwtV4Client::SetDisplay(int32_t pattern) {
    TraceLine("CHwtV4Client::SetDisplay");
    return telegramm(kDisplayCommand, {Scalar(pattern)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetDisplayLight(int32_t on) {
    TraceLine("CHwtV4Client::SetDisplayLight");
    return telegramm(kDisplayLightCommand, {Scalar(OnOff(on))}, kQueryTimeoutMs);
}

int CHwtV4Client::SetDisplayContrast(int32_t value) {
    TraceLine("CHwtV4Client::SetDisplayContrast");
    return telegramm(kContrastCommand, {Scalar(value)}, kQueryTimeoutMs);
}

int CHwtV4Client::GetDisplayContrast() {
    TraceLine("CHwtV4Client::GetDisplayContrast");
    return telegramm(kContrastCommand, {}, kQueryTimeoutMs) == 1 ? Field(0) : 0;
}

int CHwtV4Client::EnterKeyboardtest() {
    TraceLine("CHwtV4Client::EnterKeyboardtest");
    return 1;
}

int CHwtV4Client::ExitKeyboardtest() {
    TraceLine("CHwtV4Client::ExitKeyboardtest");
    return 1;
}

int CHwtV4Client::GetKeyPressed(int32_t& pressed, int32_t& key) {
    TraceLine("CHwtV4Client::GetKeyPressed");
    const int result = telegramm(kKeyPressedCommand, {}, kQueryTimeoutMs);
    if (Field(0) == kNoKeyPressed) {
        pressed = 0;
    } else {
        pressed = 1;
        key = Field(0);
    }
    return result;
}

}  // namespace testbay
