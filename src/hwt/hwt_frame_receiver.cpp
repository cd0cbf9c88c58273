#include "hwt/hwt_frame_receiver.h"

#include "protocol/hwt_protocol.h"

namespace testbay {

void HwtFrameReceiver::StoreFrameByte(uint8_t byte) {
    if (frameCount_ < kBufferSize) frame_[frameCount_++] = byte;
}

int HwtFrameReceiver::Feed(const uint8_t* bytes, size_t count) {
    FrameReceiver::Feed(bytes, count);
    int status = kIncomplete;
    for (size_t index = 0; index < count; ++index) {
        const uint8_t byte = bytes[index];
        switch (state_) {
        case kIdle:
            if (byte == kHwtStartByte) {
                frameCount_ = 0;
                StoreFrameByte(byte);
                state_ = kLength;
            }
            status = kIncomplete;
            break;
        case kLength:
            StoreFrameByte(byte);
            remaining_ = byte;
            checksum_ = 0;
            state_ = kBody;
            break;
        case kBody:
            if (frameCount_ >= kBufferSize) {
                state_ = kIdle;
                break;
            }
            StoreFrameByte(byte);
            checksum_ = static_cast<uint8_t>(checksum_ + byte);
            if (remaining_ > 0) --remaining_;
            // A length byte of 0 is taken like 1.
            if (remaining_ == 0) state_ = kChecksum;
            break;
        default:
            StoreFrameByte(byte);
            state_ = kIdle;
            status = byte == checksum_ ? kComplete : kBadChecksum;
            break;
        }
    }
    return status;
}

}  // namespace testbay
