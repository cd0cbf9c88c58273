#include "platform/port_names.h"

#include "platform/profile_file.h"

namespace testbay {

std::string ComPortPath(const std::string& configDirectory, int comNumber) {
    const std::string key = "COM" + std::to_string(comNumber);
    const auto mapped = ReadProfileValue(configDirectory + "Testbay.ini", "Ports", key);
    if (mapped && !mapped->empty()) return *mapped;
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

}  // namespace testbay
