#include "comm/frame_receiver.h"

#include <algorithm>

namespace testbay {

int FrameReceiver::Feed(const uint8_t* bytes, size_t count) {
    const size_t room = kBufferSize - rawCount_;
    const size_t taken = std::min(room, count);
    std::copy_n(bytes, taken, raw_ + rawCount_);
    rawCount_ += taken;
    return kIncomplete;
}

size_t FrameReceiver::CopyFrame(uint8_t* buffer, size_t maximum) const {
    const size_t count = std::min(maximum, frameCount_);
    std::copy_n(frame_, count, buffer);
    return count;
}

size_t FrameReceiver::CopyRaw(uint8_t* buffer, size_t maximum) const {
    const size_t count = std::min(maximum, rawCount_);
    std::copy_n(raw_, count, buffer);
    return count;
}

void FrameReceiver::Reset() {
    rawCount_ = 0;
    frameCount_ = 0;
    remaining_ = 0;
    state_ = 0;
    checksum_ = 0;
}

}  // namespace testbay
