#pragma once

#include "comm/frame_receiver.h"
#include "protocol/boot_protocol.h"

namespace testbay {

// Answers to command telegrams: 18 bytes starting with ACK, BEL or NAK. A NAK
// that ends a received block is a whole answer; a longer answer that starts
// with NAK is cut back to the NAK.
class CommandAnswerReceiver final : public FrameReceiver {
public:
    int Feed(const uint8_t* bytes, size_t count) override;
};

// Answers to block telegrams: a single ACK, NAK or ETB, after any number of
// ESC text blocks (ESC and 17 bytes, of which bytes 2 to 17 are a text that
// goes to the trace and the log).
class BlockAnswerReceiver final : public FrameReceiver {
public:
    static constexpr size_t kEscBlockSize = 18;
    int Feed(const uint8_t* bytes, size_t count) override;

private:
    void ReportEscText() const;
};

}  // namespace testbay
