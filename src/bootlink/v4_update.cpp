#include "bootlink/v4_update.h"

#include <algorithm>

#include "comm/channel.h"
#include "comm/trace.h"
#include "protocol/crc.h"

namespace testbay {
namespace {

constexpr int kConnectTimeoutMs = 30;
constexpr int kConnectTimeoutOnPort255Ms = 5000;
constexpr int kConnectRepeats = 2;
constexpr int kTransferModeTimeoutMs = 4000;
constexpr int kResetTimeoutMs = 3000;
constexpr int kBlockTimeoutMs = 5000;
constexpr int kRepeats = 3;
constexpr int kUnscannedPort = 255;

void PutBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

void PutCrc(uint8_t* telegram, size_t covered) {
    const uint16_t crc = Crc16Xmodem(telegram, covered);
    telegram[covered] = static_cast<uint8_t>(crc >> 8);
    telegram[covered + 1] = static_cast<uint8_t>(crc);
}

}  // namespace

CV4Update::CV4Update(int channel, uint32_t /*baud*/) : channel_(channel) {}

int CV4Update::Send(size_t length, int timeoutMs, int repeats, FrameReceiver& receiver) {
    int result = kUpdateOk;
    for (int transmission = 0; transmission <= repeats; ++transmission) {
        receiver.Reset();
        const int status = ComTransact(channel_, transmit_, static_cast<uint32_t>(length), timeoutMs, &receiver);
        if (status != kExchangeComplete) {
            LogPrintf("Timeout->repeat");
            result = status;
            continue;
        }
        answerLength_ = receiver.CopyFrame(answer_, sizeof(answer_));
        if (answerLength_ >= kCommandAnswerSize && answer_[1] != kBootRestart &&
            Crc16Xmodem(answer_, answerLength_) != 0) {
            LogPrintf("CKS-Error # %i ->repeat", static_cast<int>(blockCounter_));
            result = kUpdateRejected;
            continue;
        }
        const uint8_t first = answer_[0];
        if (first == kNak) {
            LogPrintf("NAK # %i ->repeat", static_cast<int>(blockCounter_));
            result = kUpdateRejected;
            continue;
        }
        if (first == kEtb || first == kAck || first == kBel) {
            result = kUpdateOk;
            break;
        }
        LogPrintf("unbekannter Code %i", first);
        result = kUpdateOk;
    }
    if (result != kUpdateOk) LogPrintf("CV4Update::Send -> %i", result);
    return result;
}

int CV4Update::SendCommand(const uint8_t* command, size_t length, int timeoutMs, int repeats) {
    std::fill(transmit_, transmit_ + kCommandSize, 0);
    std::copy_n(command, std::min(length, kCommandSize - 2), transmit_);
    PutCrc(transmit_, kCommandSize - 2);
    return Send(kCommandSize, timeoutMs, repeats, commandReceiver_);
}

int CV4Update::SendBlock(char first, char second, const uint8_t* data, size_t length, int timeoutMs, int repeats) {
    std::fill(std::begin(transmit_), std::end(transmit_), 0);
    transmit_[0] = kBlockStart;
    transmit_[1] = static_cast<uint8_t>(first);
    transmit_[2] = static_cast<uint8_t>(second);
    std::copy_n(data, std::min(length, kMaxBfNrLength), transmit_ + 3);
    PutCrc(transmit_, kBlockSize - 2);
    return Send(kBlockSize, timeoutMs, repeats, blockReceiver_);
}

int CV4Update::ConnectAtCurrentRate(int timeoutMs) {
    const uint8_t identify[] = {kCommandStart, kBootIdentify};
    return SendCommand(identify, sizeof(identify), timeoutMs, kConnectRepeats);
}

int CV4Update::Connect() {
    int result;
    if (ComGetPortNumber(channel_) == kUnscannedPort) {
        result = ConnectAtCurrentRate(kConnectTimeoutOnPort255Ms);
    } else {
        result = ConnectAtCurrentRate(kConnectTimeoutMs);
        for (size_t index = 0; result != kUpdateOk && index < kBootRates.size(); ++index) {
            if (ComBaud(channel_, kBootRates[index])) result = ConnectAtCurrentRate(kConnectTimeoutMs);
        }
    }
    if (result == kUpdateOk) SetTransferMode(0xFF, 0, 0, 0, 0, nullptr);
    LogPrintf("CV4Update::Connect -> %i", result);
    return result;
}

int CV4Update::SetTransferMode(uint8_t mode, uint8_t sub, uint32_t a, uint32_t b, uint32_t c, uint8_t* out) {
    if (out) *out = 0;
    uint8_t command[kCommandSize - 2] = {kCommandStart, kBootTransferMode, sub, mode};
    PutBigEndian32(command + 4, a);
    PutBigEndian32(command + 8, b);
    PutBigEndian32(command + 12, c);
    int result = SendCommand(command, sizeof(command), kTransferModeTimeoutMs, kRepeats);
    if (result == kUpdateOk && answer_[0] == kAck) {
        if (out) *out = answer_[2];
    } else if (result == kUpdateOk && answer_[0] == kBel && answerLength_ > 3) {
        if (answer_[3] >= '1' && answer_[3] <= '3') result = kTransferModeRefused1 + (answer_[3] - '1');
    }
    LogPrintf("CV4Update::SetTransferMode -> %i ", result);
    return result;
}

int CV4Update::Reset(uint8_t code) {
    const uint8_t command[] = {kCommandStart, kBootRestart, code};
    const int result = SendCommand(command, sizeof(command), kResetTimeoutMs, kRepeats);
    LogPrintf("CV4Update::Reset -> %i ", result);
    return result;
}

int CV4Update::SetMlfb(const uint8_t* text, size_t /*length*/) {
    // The order number travels as a 32-byte block, zero-padded.
    uint8_t block[kMlfbBlockSize] = {};
    for (size_t index = 0; text && index < kMlfbBlockSize && text[index] != '\0'; ++index) block[index] = text[index];
    const int sent = SendBlock(kBootBlockMlfb, kBootBlockWrite, block, sizeof(block), kBlockTimeoutMs, kRepeats);
    const int result = sent == kUpdateOk && answer_[0] == kAck ? kUpdateOk : kMlfbNotAcknowledged;
    LogPrintf("CV4Update::SetMlfb -> %i ", result);
    return result;
}

int CV4Update::SetBFNr(const uint8_t* data, size_t length) {
    const int sent =
        SendBlock(kBootBlockSerialNumber, kBootBlockWrite, data, data ? length : 0, kBlockTimeoutMs, kRepeats);
    const int result = sent == kUpdateOk && answer_[0] == kAck ? kUpdateOk : kBfNrNotAcknowledged;
    LogPrintf("CV4Update::SetBFNr -> %i ", result);
    return result;
}

}  // namespace testbay
