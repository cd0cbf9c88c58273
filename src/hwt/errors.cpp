#include <algorithm>
#include <string_view>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
// The relay answers the watchdog measurement only after the watchdog has run out.
constexpr int kWatchdogMeasureTimeoutMs = 4800;
constexpr int32_t kWatchdogArmValue = 2000;
constexpr int32_t kWatchdogPattern = 0xA5A5;
}  // namespace

int CHwtV4Client::GetWatchdogTime(int32_t& time, int32_t arg) {
    TraceLine("CHwtV4Client::GetWatchdogTime");
    telegramm(kWatchdogCommand, {Scalar(kWatchdogArmValue), Scalar(arg)}, kQueryTimeoutMs);
    const int result = telegramm(kWatchdogCommand, {Scalar(0)}, kWatchdogMeasureTimeoutMs);
    time = Field(0);
    return result;
}

int CHwtV4Client::TestWatchdogPattern() {
    TraceLine("CHwtV4Client::TestWatchdogPattern");
    // A lost answer must not pass on the pattern of an earlier one.
    values_[0] = 0;
    telegramm(kWatchdogCommand, {Scalar(0), Scalar(0), Scalar(0)}, kQueryTimeoutMs);
    return Field(0) == kWatchdogPattern ? 1 : 0;
}

int CHwtV4Client::GetErrorCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetErrorCount");
    const int result = telegramm(kErrorCommand, {}, kQueryTimeoutMs);
    if (result == 1) count = Field(0);
    return result;
}

int CHwtV4Client::GetErrorCount(int32_t list, int32_t& count) {
    TraceLine("CHwtV4Client::GetErrorCount");
    const int result = telegramm(kErrorCommand, {Scalar(list)}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetError(int32_t index, std::string& text0, int32_t& value2, int32_t& value3, std::string& text4,
                           std::string& text1) {
    TraceLine("CHwtV4Client::GetError");
    const int result = telegramm(kErrorCommand, {Scalar(index)}, kQueryTimeoutMs);
    if (result == 1) {
        text0 = FieldText(0);
        text1 = FieldText(1);
        value2 = Field(2);
        value3 = Field(3);
        text4 = FieldText(4);
    }
    return result;
}

int CHwtV4Client::GetError(int32_t list, int32_t index, std::string& buffer, size_t size) {
    TraceLine("CHwtV4Client::GetError");
    ForgetBlock();
    const int result = telegramm(kErrorCommand, {Scalar(list), Scalar(index)}, kQueryTimeoutMs);
    const std::string_view record(reinterpret_cast<const char*>(BlockData()), std::min<size_t>(size, BlockLength()));
    buffer = record.substr(0, record.find('\0'));
    return result;
}

}  // namespace testbay
