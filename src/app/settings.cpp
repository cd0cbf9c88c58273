#include "app/settings.h"

#include <algorithm>
#include <string>

#include "app/directories.h"
#include "platform/profile_file.h"

namespace testbay {
namespace {

std::string SettingsPath(const char* fileName) { return ConfigDirectory() + fileName; }

}  // namespace

int ReadIniInt(const char* section, const char* key, int defaultValue, const char* fileName) {
    return ReadProfileInt(SettingsPath(fileName), section, key, defaultValue);
}

int WriteIniInt(const char* section, const char* key, int value, const char* fileName) {
    return WriteIniString(section, key, std::to_string(value).c_str(), fileName);
}

int WriteIniString(const char* section, const char* key, const char* value, const char* fileName) {
    return WriteProfileValue(SettingsPath(fileName), section, key, value) ? 1 : 0;
}

size_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                     size_t destinationSize, const char* fileName) {
    if (destinationSize == 0) return 0;
    destination[0] = '\0';
    const auto stored = ReadProfileValue(SettingsPath(fileName), section, key);
    const std::string value = stored ? *stored : std::string(defaultValue ? defaultValue : "");
    const size_t length = std::min(value.size(), destinationSize - 1);
    std::copy_n(value.data(), length, destination);
    destination[length] = '\0';
    return length;
}

int ReadIniStruct(const char* section, const char* key, void* destination, size_t size, const char* fileName) {
    return ReadProfileStruct(SettingsPath(fileName), section, key, destination, size) ? 1 : 0;
}

int WriteIniStruct(const char* section, const char* key, const void* source, size_t size, const char* fileName) {
    return WriteProfileStruct(SettingsPath(fileName), section, key, source, size) ? 1 : 0;
}

}  // namespace testbay
