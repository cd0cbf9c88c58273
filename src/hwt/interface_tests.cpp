#include <algorithm>
#include <string>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {

constexpr int kThbInitTimeoutMs = 300;
constexpr int kThbTempTimeoutMs = 1500;
constexpr int kWsTestTimeoutMs = 240;
constexpr int32_t kTimedMode = 1;

}  // namespace

int CHwtV4Client::ThbInit(int32_t box) {
    TraceLine("CHwtV4Client::ThbInit");
    return telegramm(kThbInitCommand, {Scalar(box)}, kThbInitTimeoutMs);
}

int CHwtV4Client::ThbTemp(int32_t box, std::string& text, size_t size) {
    TraceLine("CHwtV4Client::ThbTemp");
    text.clear();
    int result = 0;
    {
        // The box answers slowly; one transmission only.
        const ScopedAttemptLimit once(*this, 0);
        result = telegramm(kThbTempCommand, {Scalar(box)}, kThbTempTimeoutMs);
    }
    if (result != 1 || DeviceStatus() != kHwtPass) return 0;
    text.assign(FieldText(0), std::min(size, std::char_traits<char>::length(FieldText(0))));
    return 1;
}

int CHwtV4Client::WsInit(int32_t a, int32_t b) {
    TraceLine("CHwtV4Client::WsInit");
    return telegramm(kWsInitCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
}

int CHwtV4Client::WsPara(int32_t a, int32_t b, int32_t c) {
    TraceLine("CHwtV4Client::WsPara");
    return telegramm(kWsParaCommand, {Scalar(a), Scalar(b), Scalar(c)}, kQueryTimeoutMs);
}

int CHwtV4Client::WsTest(int32_t a, int32_t mode, int32_t* ok, int32_t* x, int32_t* y, std::string* text, int32_t* z) {
    TraceLine("CHwtV4Client::WsTest");
    if (text) text->clear();
    if (z) *z = 0;
    if (ok) *ok = 0;
    const int result = telegramm(kWsTestCommand, {Scalar(a), Scalar(mode)}, kWsTestTimeoutMs);
    const bool timed = mode == kTimedMode;
    if (DeviceStatus() == kHwtPass) {
        if (ok) *ok = 1;
        if (timed && x) *x = Field(0);
        if (timed && y) *y = Field(1);
    } else if (DeviceStatus() == kHwtFail && FieldText(0)[0] != '\0') {
        // A failed test explains itself: text, code and the counts so far.
        if (text) *text = FieldText(0);
        if (z && FieldCount() > 1) *z = Field(1);
        if (timed && FieldCount() > 3) {
            if (x) *x = Field(2);
            if (y) *y = Field(3);
        }
    }
    return result;
}

int CHwtV4Client::SabPara(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
    TraceLine("CHwtV4Client::SabPara");
    return telegramm(kSabParaCommand, {Scalar(a), Scalar(b), Scalar(c), Scalar(d), Scalar(e)}, kQueryTimeoutMs);
}

int CHwtV4Client::SabStatus(std::span<int32_t> values, int32_t& count) {
    TraceLine("CHwtV4Client::SabStatus");
    count = 0;
    const int result = telegramm(kSabStatusCommand, {}, kQueryTimeoutMs);
    if (result != 1) return result;
    // Only the field slots hold values, however many fields came.
    const size_t copied = std::min({static_cast<size_t>(FieldCount()), kFieldSlots, values.size()});
    for (size_t index = 0; index < copied; ++index) values[index] = Field(index);
    count = static_cast<int32_t>(copied);
    return result;
}

}  // namespace testbay
