// Bytes from a boot system into the command-answer and block-answer receivers.
#include <cstddef>
#include <cstdint>

#include "bootlink/update_receivers.h"

namespace {

void FeedInChunks(testbay::FrameReceiver& receiver, const uint8_t* data, size_t size, size_t chunk) {
    for (size_t offset = 0; offset < size; offset += chunk) {
        const size_t count = offset + chunk <= size ? chunk : size - offset;
        if (receiver.Feed(data + offset, count) == testbay::FrameReceiver::kComplete) {
            uint8_t answer[1500];
            receiver.CopyFrame(answer, sizeof(answer));
            receiver.Reset();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 40;
    testbay::CommandAnswerReceiver command;
    testbay::BlockAnswerReceiver block;
    FeedInChunks(command, data + 1, size - 1, chunk);
    FeedInChunks(block, data + 1, size - 1, chunk);
    return 0;
}
