// Any file content as Testbay.ini: every read operation must cope.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/testbay-profile-fuzz-" + std::to_string(getpid()) + ".ini";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    for (const char* section : {"Testbay", "SECTION_WINDOW", "Ports", ""}) {
        testbay::ReadProfileValue(path, section, "ComPort");
        testbay::ReadProfileSection(path, section);
        testbay::ReadProfileInt(path, section, "ComPort", 1);
        uint8_t position[16];
        testbay::ReadProfileStruct(path, section, "POSITION", position, sizeof(position));
    }
    return 0;
}
