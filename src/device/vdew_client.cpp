#include "device/vdew_client.h"

#include "comm/channel.h"
#include "comm/trace.h"
#include "platform/clock.h"
#include "platform/line_settings.h"

namespace testbay {
namespace {

constexpr uint8_t kVariableStart = 0x68;
constexpr uint8_t kFixedStart = 0x10;
constexpr uint8_t kEnd = 0x16;
constexpr uint8_t kPrm = 0x40;
constexpr uint8_t kFcbBit = 0x20;
constexpr int kProbeTimeoutMs = 20;
constexpr int kParitySettleMs = 10;
constexpr int kPasses = 2;

enum State : uint32_t {
    kIdle = 0,
    kLength = 1,
    kLengthAgain = 2,
    kSecondStart = 3,
    kVariableControl = 4,
    kVariableData = 5,
    kVariableChecksum = 6,
    kFixedControl = 7,
    kFixedAddress = 8,
    kFixedChecksum = 9,
    kEndByte = 10,
};

}  // namespace

CVDEWClient::CVDEWClient(int channel) : channel_(static_cast<uint32_t>(channel)) {}

void CVDEWClient::ResetLink() {
    linkAddress_ = 0;
    fcb_ = kFcbBit;
    fcv_ = 0x00;
}

int CVDEWClient::SendShort(uint8_t function, int timeoutMs) {
    fcb_ = function == kResetFrameCountBit ? 0x00 : static_cast<uint8_t>(fcb_ ^ kFcbBit);
    const auto control = static_cast<uint8_t>((function & 0xDF) | fcb_ | kPrm | fcv_);
    transmit_[0] = kFixedStart;
    transmit_[1] = control;
    transmit_[2] = linkAddress_;
    transmit_[3] = static_cast<uint8_t>(control + linkAddress_);
    transmit_[4] = kEnd;

    Reset();
    int result = kExchangeTimeout;
    const auto channel = static_cast<int>(channel_);
    for (int transmission = 0; transmission < kMaxTransmissions && result == kExchangeTimeout; ++transmission) {
        result = ComTransact(channel, transmit_, sizeof(transmit_), timeoutMs, this);
    }
    return result;
}

int CVDEWClient::ScanRates(uint32_t count, const uint32_t* list, int parity) {
    const auto channel = static_cast<int>(channel_);
    ComParity(channel, parity, kStopOne);
    ProcessClock().SleepMs(kParitySettleMs);
    for (uint32_t index = 0; index < count; ++index) {
        ComBaud(channel, list[index]);
        ResetLink();
        if (SendShort(kResetFrameCountBit, kProbeTimeoutMs) == 0) return 0;
    }
    return 1;
}

int CVDEWClient::ConnectV4(uint32_t count, const uint32_t* list) {
    ResetLink();
    TraceLine("CVDEWClient::ConnectV4()");
    if (!list) {
        list = kDefaultProbeRates.data();
        count = static_cast<uint32_t>(kDefaultProbeRates.size());
    }
    for (int pass = 0; pass < kPasses; ++pass) {
        if (ScanRates(count, list, kParityEven) == 0) return 0;
        if (ScanRates(count, list, kParityNone) == 0) return 0;
    }
    return 1;
}

int CVDEWClient::Feed(const uint8_t* bytes, size_t count) {
    FrameReceiver::Feed(bytes, count);
    bool complete = false;
    for (size_t index = 0; index < count; ++index) complete = FeedByte(bytes[index]) || complete;
    return complete ? kComplete : kIncomplete;
}

bool CVDEWClient::FeedByte(uint8_t byte) {
    auto store = [this](uint8_t value) {
        if (frameCount_ < kBufferSize) frame_[frameCount_++] = value;
    };
    switch (state_) {
    case kIdle:
        // Anything else, the single character 0xE5 included, is no frame.
        if (byte == kVariableStart || byte == kFixedStart) {
            frameCount_ = 0;
            state_ = byte == kVariableStart ? kLength : kFixedControl;
        }
        return false;
    case kLength:
        expectedLength_ = byte;
        state_ = kLengthAgain;
        return false;
    case kLengthAgain: state_ = byte == expectedLength_ ? kSecondStart : kIdle; return false;
    case kSecondStart: state_ = byte == kVariableStart ? kVariableControl : kIdle; return false;
    case kVariableControl:
        receivedControl_ = byte;
        store(byte);
        state_ = frameCount_ >= expectedLength_ ? kVariableChecksum : kVariableData;
        return false;
    case kVariableData:
        store(byte);
        if (frameCount_ >= expectedLength_) state_ = kVariableChecksum;
        return false;
    case kVariableChecksum:
    case kFixedChecksum:
        // Kept for the record; a wrong sum is accepted.
        receivedChecksum_ = byte;
        if (state_ == kFixedChecksum) store(byte);
        state_ = kEndByte;
        return false;
    case kFixedControl:
        receivedControl_ = byte;
        store(byte);
        state_ = kFixedAddress;
        return false;
    case kFixedAddress:
        store(byte);
        state_ = kFixedChecksum;
        return false;
    default:
        state_ = kIdle;
        // A frame from a primary station is not an answer.
        return byte == kEnd && (receivedControl_ & kPrm) == 0;
    }
}

}  // namespace testbay
