#include "comm/port_mapping.h"

#include <strings.h>

#include <cctype>

#include "settings/settings.h"
#include "settings/settings_index.h"
#include "platform/network_port.h"
#include "platform/serial_device_list.h"

namespace testbay {
namespace {
using settings::kPortsSection;
constexpr const char* kSettingsFile = settings::kProgramFile;
constexpr size_t kPathSize = 260;
}  // namespace

int ComNumberOf(const std::string& name) {
    if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
    int number = 0;
    for (size_t index = 3; index < name.size(); ++index) {
        if (!std::isdigit(static_cast<unsigned char>(name[index])) || number > 99999) return 0;
        number = number * 10 + (name[index] - '0');
    }
    return number;
}

std::string ComPortPath(int comNumber) {
    char path[kPathSize];
    const std::string key = "COM" + std::to_string(comNumber);
    if (ReadIniString(kPortsSection, key.c_str(), "", path, sizeof(path), kSettingsFile) > 0) return path;
    return DefaultComDevice(comNumber);
}

std::vector<std::pair<int, std::string>> MappedComPorts() {
    std::vector<std::pair<int, std::string>> ports;
    for (const auto& [key, path] : ReadIniSection(kPortsSection, kSettingsFile)) {
        const int number = ComNumberOf(key);
        if (number > 0 && !path.empty()) ports.emplace_back(number, path);
    }
    return ports;
}

int ConnectTimeoutMs() {
    const int value = ReadIniInt(kPortsSection, settings::kConnectTimeoutKey, kDefaultConnectTimeoutMs, kSettingsFile);
    return value >= kMinimumConnectTimeoutMs && value <= kMaximumConnectTimeoutMs ? value : kDefaultConnectTimeoutMs;
}

int MapComPort(int comNumber, const std::string& path) {
    const std::string key = "COM" + std::to_string(comNumber);
    return WriteIniString(kPortsSection, key.c_str(), path.c_str(), kSettingsFile);
}

}  // namespace testbay
