#include "app/directories.h"

#include <mutex>

#include "platform/folders.h"

namespace testbay {
namespace {

constexpr const char* kConfigSubPath = "Altheon/Corvexan/Firmware/";

std::mutex g_mutex;
std::string g_configDirectory;
std::string g_tempDirectory;

std::string DefaultConfigDirectory() {
    const std::string overridden = EnvironmentValue("TESTBAY_CONFIG_DIR");
    if (!overridden.empty()) return WithTrailingSlash(overridden);
    const std::string common = std::string("/var/lib/") + kConfigSubPath;
    if (CreateDirectoryPath(common)) return common;
    const std::string user = UserConfigFolder() + kConfigSubPath;
    CreateDirectoryPath(user);
    return user;
}

}  // namespace

std::string ConfigDirectory() {
    std::lock_guard lock(g_mutex);
    if (g_configDirectory.empty()) g_configDirectory = DefaultConfigDirectory();
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
