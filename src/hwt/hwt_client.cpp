#include "hwt/hwt_client.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <vector>

#include "comm/channel.h"
#include "comm/trace.h"
#include "platform/clock.h"
#include "platform/line_settings.h"

namespace testbay {
namespace {

constexpr int kRepeatPauseMs = 5;
constexpr size_t kChecksumSize = 1;
constexpr size_t kFirstFieldOffset = 5;
constexpr size_t kTypeByteOffset = 4;
constexpr size_t kTypedFields = 4;
constexpr size_t kInferredTypeField = 4;

// Clients in the order they became current; the last one is current.
std::mutex g_clientsMutex;
std::vector<CHwtV4Client*> g_clients;

int32_t ReadBigEndian32(const uint8_t* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                                static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]));
}

// Field types: 1 one-byte scalar, 2 four-byte scalar, 3 block, 0 none.
uint32_t FieldType(size_t index, uint8_t typeByte, const uint8_t* frame, size_t position, size_t end) {
    if (index < kTypedFields) return (typeByte >> (2 * index)) & 3u;
    if (index > kInferredTypeField) return 2;
    const size_t left = end - position;
    if (left == 1) return 1;
    if (left == 4) return frame[position] == 3 ? 3 : 2;
    return 3;
}

}  // namespace

CHwtV4Client* CurrentHwtClient() {
    std::lock_guard lock(g_clientsMutex);
    return g_clients.empty() ? nullptr : g_clients.back();
}

CHwtV4Client::CHwtV4Client(int channel, uint32_t /*unused*/) : channel_(channel) {
    {
        std::lock_guard lock(g_clientsMutex);
        g_clients.push_back(this);
    }
    TraceLine("CHwtV4Client::CHwtV4Client");
}

CHwtV4Client::~CHwtV4Client() {
    std::lock_guard lock(g_clientsMutex);
    g_clients.erase(std::remove(g_clients.begin(), g_clients.end(), this), g_clients.end());
}

void CHwtV4Client::ClearTexts() {
    for (auto& text : texts_) text[0] = '\0';
}

int CHwtV4Client::telegramm(uint8_t command, std::span<const HwtField> fields, int timeoutMs) {
    std::vector<uint8_t> frame;
    result_ = 0;
    deviceStatus_ = kHwtTimeout;
    if (!EncodeHwtRequest(command, fields, frame)) {
        TraceLine("Telegramm zu lang in CHwtV4Client::telegramm");
        return 0;
    }
    const auto frameLength = static_cast<uint32_t>(frame.size());
    DrainLateAnswers();
    Clock& clock = ProcessClock();
    const int64_t callStart = clock.NowMs();
    int64_t lastFrameMs = 0;
    answerOwed_ = false;
    uint32_t attempt = 0;
    do {
        if (attempt > 0) {
            TraceLine("Repeat Telegram in CHwtV4Client::telegramm");
            ProcessClock().SleepMs(kRepeatPauseMs);
        }
        receiver_.Reset();
        ClearTexts();
        if (timeoutMs == 0) {
            ComTransact(channel_, frame.data(), frameLength, 0, nullptr);
            return 1;
        }
        const int exchange = ComTransact(channel_, frame.data(), frameLength, timeoutMs, &receiver_);
        if (exchange != kExchangeTimeout) lastFrameMs = clock.NowMs() - callStart;
        if (exchange == kExchangeComplete) {
            pcTimeoutRun_ = 0;
            attempt = AcceptResponse(command) ? attempt + 1 : 0;
        } else if (exchange == kExchangeBadChecksum) {
            TraceLine("TD_CHECKSUM_PC in CHwtV4Client::telegramm");
            ++attempt;
        } else {
            TraceLine("TD_TIMEOUT_PC in CHwtV4Client::telegramm");
            ++attempt;
            ++pcTimeoutRun_;
            answerOwed_ = true;
        }
    } while (attempt > 0 && attempt < attemptLimit_ && result_ != 1 && pcTimeoutRun_ < kPcTimeoutRunLimit);
    if (answerOwed_) NoteLateAnswers(timeoutMs, lastFrameMs);
    return result_;
}

// A relay that answered late answers every transmission of the call as late,
// one after the other: the line is quiet for good only once it has been so
// for as long as the relay was seen to take, plus one answer window. Without
// any answer there is no lateness to go by, and one window is waited out.
void CHwtV4Client::NoteLateAnswers(int timeoutMs, int64_t lastFrameMs) {
    lateAnswerWindowMs_ = static_cast<int>(std::min<int64_t>(timeoutMs + lastFrameMs, std::numeric_limits<int>::max()));
    lateAnswerBaud_ = ComGetBaud(channel_);
}

void CHwtV4Client::DrainLateAnswers() {
    const int windowMs = lateAnswerWindowMs_;
    lateAnswerWindowMs_ = 0;
    // Answers sent at another rate cannot arrive as frames at this one.
    if (windowMs == 0 || ComGetBaud(channel_) != lateAnswerBaud_) return;
    const std::vector<uint8_t> dropped = ComDrainQuiet(channel_, windowMs);
    if (dropped.empty()) return;
    TraceLine("Late answer discarded in CHwtV4Client::telegramm");
    TraceHex(dropped.data(), dropped.size(), '!');
}

bool CHwtV4Client::AcceptResponse(uint8_t command) {
    uint8_t response[kResponseCopySize] = {};
    const size_t length = receiver_.CopyFrame(response, sizeof(response));
    const uint8_t echo = response[2];
    const uint8_t status = response[3];
    if (echo != command && status != kHwtCommandUnknown) {
        TraceLine("TD_OVERLAPPED_CYCLE in CHwtV4Client::telegramm");
        // Another request's answer came in place of ours, which may follow.
        answerOwed_ = true;
        return true;
    }
    deviceStatus_ = status;
    switch (status) {
    case kHwtFail:
        TraceLine("FAIL in CHwtV4Client::telegramm");
        parse(response, length);
        return false;
    case kHwtPass:
        TraceLine("PASS in CHwtV4Client::telegramm");
        result_ = parse(response, length);
        return false;
    case kHwtDone:
        TraceLine("DONE in CHwtV4Client::telegramm");
        result_ = parse(response, length);
        return false;
    case kHwtCommandUnknown: TraceLine("BEFEHL_UNBEKANNT in CHwtV4Client::telegramm"); return false;
    case kHwtTimeout: TraceLine("TIMEOUT in CHwtV4Client::telegramm"); return true;
    case kHwtChecksumError: TraceLine("CKS_ERROR in CHwtV4Client::telegramm"); return true;
    default: TraceLine("unbekannter Ausfuehrunsstatus in CHwtV4Client::telegramm"); return true;
    }
}

int CHwtV4Client::parse(const uint8_t* frame, size_t length) {
    if (length < 3) return 0;
    const size_t end = length - kChecksumSize;
    size_t position = kFirstFieldOffset;
    size_t index = 0;
    while (position < end) {
        const uint8_t typeByte = frame[kTypeByteOffset];
        const uint32_t type = FieldType(index, typeByte, frame, position, end);
        const bool stored = index < kFieldSlots;
        if (stored) {
            values_[index] = 0;
            texts_[index][0] = '\0';
        }
        size_t size = 0;
        if (type == 1) {
            size = 1;
            if (stored) values_[index] = static_cast<int8_t>(frame[position]);
        } else if (type == 2) {
            size = 4;
            // A scalar cut off by the checksum ends the fields.
            if (position + size > end) break;
            if (stored) values_[index] = ReadBigEndian32(frame + position);
        } else if (type == 3) {
            const uint8_t blockLength = frame[position];
            size = 1 + static_cast<size_t>(blockLength);
            if (stored && position + size <= end) {
                std::copy_n(frame + position + 1, blockLength, block_);
                block_[blockLength] = '\0';
                blockLength_ = blockLength;
                const size_t textLength = std::min<size_t>(blockLength, kFieldTextSize - 1);
                std::copy_n(frame + position + 1, textLength, texts_[index]);
                texts_[index][textLength] = '\0';
            }
        } else {
            // Type bits 0 name no field: nothing more can be walked.
            break;
        }
        position += size;
        ++index;
    }
    fieldCount_ = static_cast<uint32_t>(index);
    return 1;
}

int CHwtV4Client::FindBaudrate() {
    TraceLine("CHwtV4Client::FindBaudrate");
    ComParity(channel_, kParityNone, kStopOne);
    for (const uint32_t baud : kSearchRates) {
        ComBaud(channel_, baud);
        pcTimeoutRun_ = 0;
        if (SetLed(1, 1) == 1) return 0;
    }
    return 1;
}

int CHwtV4Client::CheckHwt() {
    TraceLine("CHwtV4Client::CheckHwt");
    std::string cpu;
    const ScopedAttemptLimit once(*this, 1);
    return GetCPU(cpu);
}

int CHwtV4Client::ReduceBaudrate() {
    TraceLine("CHwtV4Client::ReduceBaudrate");
    const uint32_t baud = ComGetBaud(channel_);
    for (size_t index = 1; index < std::size(kSearchRates); ++index) {
        if (kSearchRates[index] == baud) return SetBaudrate(0, kSearchRates[index - 1]);
    }
    return 0;
}

}  // namespace testbay
