// Bytes from a relay into the hardware-test frame receiver; every complete
// frame goes through the response parser, and the fields are read back.
#include <cstddef>
#include <cstdint>

#include "hwt/hwt_client.h"
#include "hwt/hwt_frame_receiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static testbay::CHwtV4Client client(-1);
    testbay::HwtFrameReceiver receiver;
    // The first byte decides how the rest is cut into reads.
    const size_t chunk = size > 0 ? 1 + data[0] % 64 : 1;
    for (size_t offset = 1; offset < size; offset += chunk) {
        const size_t count = offset + chunk <= size ? chunk : size - offset;
        if (receiver.Feed(data + offset, count) == testbay::FrameReceiver::kIncomplete) continue;
        uint8_t frame[testbay::CHwtV4Client::kResponseCopySize];
        const size_t length = receiver.CopyFrame(frame, sizeof(frame));
        client.parse(frame, length);
        for (size_t field = 0; field < client.FieldCount() + 2; ++field) {
            volatile int32_t value = client.Field(field);
            volatile char first = client.FieldText(field)[0];
            (void)value;
            (void)first;
        }
        receiver.Reset();
    }
    return 0;
}
