#include <vector>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {

bool PassOrDone(uint32_t status) { return status == kHwtPass || status == kHwtDone; }

// The received block, never more than the block buffer holds.
void TakeBlock(const CHwtV4Client& client, int32_t& length, std::vector<uint8_t>& buffer) {
    length = client.BlockLength();
    buffer.assign(client.BlockData(), client.BlockData() + client.BlockLength());
}

}  // namespace

int CHwtV4Client::HdlcStart() {
    TraceLine("CHwtV4Client::HdlcStart");
    return telegramm(kHdlcStartCommand, {}, kQueryTimeoutMs);
}

int CHwtV4Client::HdlcFreeze() {
    TraceLine("CHwtV4Client::HdlcFreeze");
    return telegramm(kHdlcFreezeCommand, {}, kQueryTimeoutMs);
}

int CHwtV4Client::GetHdlcStatus(int32_t& a, int32_t& b, int32_t& c) {
    TraceLine("CHwtV4Client::GetHdlcStatus");
    const int result = telegramm(kHdlcStatusCommand, {}, kQueryTimeoutMs);
    if (result == 1 && PassOrDone(DeviceStatus())) {
        a = Field(0);
        b = Field(1);
        c = Field(2);
    }
    return result;
}

int CHwtV4Client::HdlcRead(int32_t a, int32_t b, int32_t& c, int32_t& length, std::vector<uint8_t>& buffer) {
    TraceLine("CHwtV4Client::HdlcRead");
    ForgetBlock();
    const int result = telegramm(kHdlcReadCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
    if (result == 1 && DeviceStatus() != kHwtFail) {
        c = Field(0);
        TakeBlock(*this, length, buffer);
    }
    return result;
}

int CHwtV4Client::HdlcReadAlt(int32_t a, int32_t& c, int32_t& length, std::vector<uint8_t>& buffer) {
    TraceLine("CHwtV4Client::HdlcReadAlt");
    ForgetBlock();
    const int result = telegramm(kHdlcReadCommand, {Scalar(a)}, kQueryTimeoutMs);
    if (result == 1 && DeviceStatus() != kHwtFail) {
        c = Field(0);
        TakeBlock(*this, length, buffer);
    }
    return result;
}

int CHwtV4Client::HdlcDecode(int32_t a, int32_t b, int32_t& length, std::vector<uint8_t>& buffer) {
    TraceLine("CHwtV4Client::HdlcDecode");
    ForgetBlock();
    const int result = telegramm(kHdlcDecodeCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
    if (result == 1 && DeviceStatus() != kHwtFail) TakeBlock(*this, length, buffer);
    return result;
}

int CHwtV4Client::HdlcDecodeAlt(int32_t a, int32_t& c, int32_t& length, std::vector<uint8_t>& buffer) {
    TraceLine("CHwtV4Client::HdlcDecodeAlt");
    ForgetBlock();
    const int result = telegramm(kHdlcDecodeCommand, {Scalar(a)}, kQueryTimeoutMs);
    if (result == 1 && DeviceStatus() != kHwtFail) {
        c = Field(0);
        TakeBlock(*this, length, buffer);
    }
    return result;
}

int CHwtV4Client::HdlcBin(int32_t a, int32_t b) {
    TraceLine("CHwtV4Client::HdlcBin");
    return telegramm(kHdlcBinCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
}

int CHwtV4Client::HdlcTrigger(int32_t a, int32_t b) {
    TraceLine("CHwtV4Client::HdlcTrigger");
    return telegramm(kHdlcTriggerCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetHdlcParam(int32_t a, int32_t b, int32_t c, int32_t& r) {
    TraceLine("CHwtV4Client::SetHdlcParam");
    const int result = telegramm(kHdlcParameterCommand, {Scalar(a), Scalar(b), Scalar(c)}, kQueryTimeoutMs);
    if (result == 1 && PassOrDone(DeviceStatus())) r = Field(0);
    return result;
}

int CHwtV4Client::SetHdlcParamAlt(int32_t a, int32_t b, int32_t& r) {
    TraceLine("CHwtV4Client::SetHdlcParamAlt");
    const int result = telegramm(kHdlcParameterCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
    if (result == 1 && PassOrDone(DeviceStatus())) r = Field(0);
    return result;
}

}  // namespace testbay
