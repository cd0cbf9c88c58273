#include "platform/serial_device_list.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

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

// The number after `stem` (up to five digits), or -1.
int NumberAfter(const std::string& text, const std::string& stem) {
    const size_t digits = text.size() - stem.size();
    if (text.size() <= stem.size() || text.compare(0, stem.size(), stem) != 0 || digits > 5) return -1;
    int number = 0;
    for (size_t index = stem.size(); index < text.size(); ++index) {
        if (!std::isdigit(static_cast<unsigned char>(text[index]))) return -1;
        number = number * 10 + (text[index] - '0');
    }
    return number;
}

}  // namespace

std::string DefaultComDevice(int comNumber) { return "/dev/ttyS" + std::to_string(comNumber - 1); }

// "/dev/ttyS<k>" is "COM<k+1>".
int DefaultComNumber(const std::string& device) { return NumberAfter(device, "/dev/ttyS") + 1; }

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
