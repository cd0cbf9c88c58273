#include "app/settings.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <string>

#include "app/directories.h"
#include "platform/profile_file.h"

namespace testbay {
namespace {

std::string SettingsPath(const char* fileName) { return ConfigDirectory() + fileName; }

}  // namespace

int ReadIniInt(const char* section, const char* key, int defaultValue, const char* fileName) {
    if (!section || !key) return defaultValue;
    return ReadProfileInt(SettingsPath(fileName), section, key, defaultValue);
}

int WriteIniInt(const char* section, const char* key, int value, const char* fileName) {
    return WriteIniString(section, key, std::to_string(value).c_str(), fileName);
}

int WriteIniString(const char* section, const char* key, const char* value, const char* fileName) {
    if (!section || !key) return 0;
    const auto text = value ? std::optional<std::string_view>(value) : std::nullopt;
    return WriteProfileValue(SettingsPath(fileName), section, key, text) ? 1 : 0;
}

size_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                     size_t destinationSize, const char* fileName) {
    if (destinationSize == 0) return 0;
    destination[0] = '\0';
    if (!section || !key) return 0;
    const auto stored = ReadProfileValue(SettingsPath(fileName), section, key);
    const std::string value = stored ? *stored : std::string(defaultValue ? defaultValue : "");
    const size_t length = std::min(value.size(), destinationSize - 1);
    std::copy_n(value.data(), length, destination);
    destination[length] = '\0';
    return length;
}

int ReadIniStruct(const char* section, const char* key, void* destination, size_t size, const char* fileName) {
    if (!section || !key || !destination) return 0;
    return ReadProfileStruct(SettingsPath(fileName), section, key, destination, size) ? 1 : 0;
}

int WriteIniStruct(const char* section, const char* key, const void* source, size_t size, const char* fileName) {
    if (!section || !key || !source) return 0;
    return WriteProfileStruct(SettingsPath(fileName), section, key, source, size) ? 1 : 0;
}

}  // namespace testbay
