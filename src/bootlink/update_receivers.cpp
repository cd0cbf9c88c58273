#include "bootlink/update_receivers.h"

#include <string>

#include "comm/trace.h"

namespace testbay {
namespace {
enum State : uint32_t { kWaiting = 0, kCollecting = 1 };
}  // namespace

int CommandAnswerReceiver::Feed(const uint8_t* bytes, size_t count) {
    FrameReceiver::Feed(bytes, count);
    int status = kIncomplete;
    for (size_t index = 0; index < count; ++index) {
        const uint8_t byte = bytes[index];
        if (state_ == kWaiting) {
            const bool lastOfBlock = index + 1 == count;
            if (byte == kNak && lastOfBlock) {
                frame_[0] = byte;
                frameCount_ = 1;
                status = kComplete;
            } else if (byte == kAck || byte == kBel || byte == kNak) {
                frame_[0] = byte;
                frameCount_ = 1;
                state_ = kCollecting;
            }
            continue;
        }
        frame_[frameCount_++] = byte;
        if (frameCount_ == kCommandAnswerSize) {
            if (frame_[0] == kNak) frameCount_ = 1;
            state_ = kWaiting;
            status = kComplete;
        }
    }
    return status;
}

void BlockAnswerReceiver::ReportEscText() const {
    const std::string text(reinterpret_cast<const char*>(frame_ + 2), kEscBlockSize - 2);
    TraceLine("ESC-----------------");
    TraceLine(text.c_str());
    TraceLine("ESC-Ende------------");
    LogPrintf("ESC-----------------");
    LogPrintf("%s", text.c_str());
    LogPrintf("ESC-Ende------------");
}

int BlockAnswerReceiver::Feed(const uint8_t* bytes, size_t count) {
    FrameReceiver::Feed(bytes, count);
    int status = kIncomplete;
    for (size_t index = 0; index < count; ++index) {
        const uint8_t byte = bytes[index];
        if (state_ == kCollecting) {
            frame_[frameCount_++] = byte;
            if (frameCount_ == kEscBlockSize) {
                ReportEscText();
                frameCount_ = 0;
                state_ = kWaiting;
            }
        } else if (byte == kEsc) {
            frame_[0] = byte;
            frameCount_ = 1;
            state_ = kCollecting;
        } else if (byte == kAck || byte == kNak || byte == kEtb) {
            frame_[0] = byte;
            frameCount_ = 1;
            status = kComplete;
        }
    }
    return status;
}

}  // namespace testbay
