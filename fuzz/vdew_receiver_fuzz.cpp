// Bytes from a protection application into the VDEW receive automaton.
#include <cstddef>
#include <cstdint>

#include "device/vdew_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    testbay::CVDEWClient client(-1);
    const size_t chunk = size > 0 ? 1 + data[0] % 32 : 1;
    for (size_t offset = 1; offset < size; offset += chunk) {
        const size_t count = offset + chunk <= size ? chunk : size - offset;
        if (client.Feed(data + offset, count) == testbay::FrameReceiver::kComplete) {
            uint8_t frame[testbay::FrameReceiver::kBufferSize];
            client.CopyFrame(frame, sizeof(frame));
        }
    }
    return 0;
}
