#include "settings/directories.h"

#include <mutex>

#include "platform/folders.h"

namespace testbay {
namespace {

// Below the common or the user's application data folder.
std::string ConfigSubPath() {
    std::string path;
    for (const char* folder : {"Altheon", "Corvexan", "Firmware"}) (path += folder) += kPathSeparator;
    return path;
}

std::mutex g_mutex;
std::string g_configDirectory;
std::string g_tempDirectory;

}  // namespace

std::string WindowsDirectory() {
    const std::string overridden = EnvironmentValue("TESTBAY_WINDOWS_DIR");
    if (!overridden.empty()) return WithTrailingSlash(overridden);
    return WindowsFolder();
}

std::string ChooseConfigDirectory() {
    const std::string overridden = EnvironmentValue("TESTBAY_CONFIG_DIR");
    if (!overridden.empty()) {
        const std::string directory = WithTrailingSlash(overridden);
        CreateDirectoryPath(directory);
        return directory;
    }
    const std::string commonFolder = CommonDataFolder();
    if (!commonFolder.empty()) {
        const std::string common = commonFolder + ConfigSubPath();
        if (CreateDirectoryPath(common)) return common;
    }
    const std::string userFolder = UserConfigFolder();
    if (!userFolder.empty()) {
        const std::string user = userFolder + ConfigSubPath();
        CreateDirectoryPath(user);
        return user;
    }
    return WindowsDirectory();
}

std::string ConfigDirectory() {
    std::lock_guard lock(g_mutex);
    if (g_configDirectory.empty()) g_configDirectory = ChooseConfigDirectory();
    return g_configDirectory;
}

void SetConfigDirectory(const std::string& directory) {
    std::lock_guard lock(g_mutex);
    g_configDirectory = WithTrailingSlash(directory);
}

std::string TempDirectory() {
    std::lock_guard lock(g_mutex);
    if (g_tempDirectory.empty()) g_tempDirectory = TemporaryFolder();
    return g_tempDirectory;
}

void SetTempDirectory(const std::string& directory) {
    std::lock_guard lock(g_mutex);
    g_tempDirectory = WithTrailingSlash(directory);
}

}  // namespace testbay
