#include "platform/serial_device_list.h"

#include <unistd.h>

#include <algorithm>

#include "platform/folders.h"

namespace testbay {
namespace {

constexpr const char* kSerialPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};

bool IsSerialName(const std::string& name) {
    return std::any_of(std::begin(kSerialPrefixes), std::end(kSerialPrefixes), [&](const char* prefix) {
        const std::string stem = prefix;
        return name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0 &&
               std::all_of(name.begin() + static_cast<long>(stem.size()), name.end(), ::isdigit);
    });
}

}  // namespace

std::vector<std::string> PresentSerialDevices(const std::string& devDirectory, const std::string& sysClassTty) {
    std::vector<std::string> devices;
    for (const std::string& name : DirectoryEntries(sysClassTty)) {
        if (!IsSerialName(name)) continue;
        if (access((sysClassTty + name + "/device").c_str(), F_OK) != 0) continue;
        if (access((devDirectory + name).c_str(), F_OK) != 0) continue;
        devices.push_back(devDirectory + name);
    }
    std::sort(devices.begin(), devices.end());
    return devices;
}

}  // namespace testbay
