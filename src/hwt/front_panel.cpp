#include "comm/trace.h"
#include "hwt/hwt_client.h"

namespace testbay {
namespace {
constexpr uint8_t kLedCommand = 0x0E;
constexpr int kQueryTimeoutMs = 60;
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
    return telegramm(kLedCommand, {Scalar(led), Scalar(on == 1 ? 1 : 0)}, kQueryTimeoutMs);
}

}  // namespace testbay
