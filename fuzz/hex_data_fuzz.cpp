// Any text typed into the hexadecimal test-data box.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/enhanced_comm_test.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t bytes[256];
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t count = testbay::ReadHexData(text, bytes);
    if (count > sizeof(bytes)) __builtin_trap();
    return 0;
}
