#pragma once

#include "comm/frame_receiver.h"

namespace testbay {

// Delimits hardware-test response frames: 0x68, length L, L bytes, sum byte.
class HwtFrameReceiver final : public FrameReceiver {
public:
    int Feed(const uint8_t* bytes, size_t count) override;

private:
    enum State : uint32_t { kIdle = 0, kLength = 1, kBody = 2, kChecksum = 3 };
    void StoreFrameByte(uint8_t byte);
};

}  // namespace testbay
