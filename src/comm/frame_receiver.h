#pragma once

#include <cstddef>
#include <cstdint>

namespace testbay {

// Base of the protocol receivers that ComTransact feeds. Keeps every byte of
// the current exchange (for the trace) and the frame being assembled.
class FrameReceiver {
public:
    static constexpr size_t kBufferSize = 1024;
    static constexpr int kComplete = 0;
    static constexpr int kBadChecksum = 1;
    static constexpr int kIncomplete = 2;

    virtual ~FrameReceiver() = default;

    // Appends to the raw buffer (what does not fit is dropped) and returns
    // kIncomplete; protocol receivers call this first and then parse.
    virtual int Feed(const uint8_t* bytes, size_t count);
    virtual size_t CopyFrame(uint8_t* buffer, size_t maximum) const;
    virtual size_t CopyRaw(uint8_t* buffer, size_t maximum) const;
    virtual uint32_t AuxStatus() const { return 0; }
    virtual void Reset();

    size_t RawCount() const { return rawCount_; }
    bool RawFull() const { return rawCount_ == kBufferSize; }
    const uint8_t* Raw() const { return raw_; }
    size_t FrameCount() const { return frameCount_; }
    const uint8_t* Frame() const { return frame_; }

protected:
    uint8_t raw_[kBufferSize] = {};
    size_t rawCount_ = 0;
    uint8_t frame_[kBufferSize] = {};
    size_t frameCount_ = 0;
    uint32_t remaining_ = 0;
    uint32_t state_ = 0;
    uint8_t checksum_ = 0;
};

}  // namespace testbay
