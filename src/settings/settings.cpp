#include "settings/settings.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "settings/directories.h"
#include "platform/folders.h"
#include "platform/profile_file.h"

namespace testbay {
namespace {

// Settings files copied from Windows may come in any case.
std::string FileIn(const std::string& directory, const char* fileName) {
    return directory + EntryNameIgnoringCase(directory, fileName ? fileName : "");
}

size_t ReadStringFrom(const std::string& path, const char* section, const char* key, const char* defaultValue,
                      char* destination, size_t destinationSize) {
    if (!destination || destinationSize == 0) return 0;
    destination[0] = '\0';
    if (!section || !key) return 0;
    std::string value;
    if (const auto stored = ReadProfileValue(path, section, key)) {
        value = *stored;
    } else {
        value = defaultValue ? defaultValue : "";
        value.erase(value.find_last_not_of(' ') + 1);
    }
    const size_t length = std::min(value.size(), destinationSize - 1);
    std::copy_n(value.data(), length, destination);
    destination[length] = '\0';
    return length;
}

int WriteStringTo(const std::string& path, const char* section, const char* key, const char* value) {
    if (!section || !key) return 0;
    const auto text = value ? std::optional<std::string_view>(value) : std::nullopt;
    return WriteProfileValue(path, section, key, text) ? 1 : 0;
}

}  // namespace

size_t ReadIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                     size_t destinationSize, const char* fileName) {
    return ReadStringFrom(FileIn(ConfigDirectory(), fileName), section, key, defaultValue, destination,
                          destinationSize);
}

int ReadIniInt(const char* section, const char* key, int defaultValue, const char* fileName) {
    if (!section || !key) return defaultValue;
    return ReadProfileInt(FileIn(ConfigDirectory(), fileName), section, key, defaultValue);
}

int WriteIniString(const char* section, const char* key, const char* value, const char* fileName) {
    return WriteStringTo(FileIn(ConfigDirectory(), fileName), section, key, value);
}

int WriteIniInt(const char* section, const char* key, int value, const char* fileName) {
    return WriteIniString(section, key, std::to_string(value).c_str(), fileName);
}

int ReadIniStruct(const char* section, const char* key, void* destination, size_t size, const char* fileName) {
    if (!section || !key || !destination) return 0;
    return ReadProfileStruct(FileIn(ConfigDirectory(), fileName), section, key, destination, size) ? 1 : 0;
}

int WriteIniStruct(const char* section, const char* key, const void* source, size_t size, const char* fileName) {
    if (!section || !key || !source) return 0;
    return WriteProfileStruct(FileIn(ConfigDirectory(), fileName), section, key, source, size) ? 1 : 0;
}

std::vector<std::pair<std::string, std::string>> ReadIniSection(const char* section, const char* fileName) {
    if (!section) return {};
    return ReadProfileSection(FileIn(ConfigDirectory(), fileName), section);
}

size_t ReadWindowsIniString(const char* section, const char* key, const char* defaultValue, char* destination,
                            size_t destinationSize, const char* fileName) {
    return ReadStringFrom(FileIn(WindowsDirectory(), fileName), section, key, defaultValue, destination,
                          destinationSize);
}

int WriteWindowsIniString(const char* section, const char* key, const char* value, const char* fileName) {
    return WriteStringTo(FileIn(WindowsDirectory(), fileName), section, key, value);
}

}  // namespace testbay
