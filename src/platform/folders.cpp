#include "platform/folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace testbay {

std::string WithTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

bool CreateDirectoryPath(const std::string& path) {
    if (path.empty()) return false;
    size_t next = 0;
    do {
        next = path.find('/', next + 1);
        const std::string prefix = path.substr(0, next);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    } while (next != std::string::npos);
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string UserConfigFolder() {
    const std::string xdg = EnvironmentValue("XDG_CONFIG_HOME");
    if (!xdg.empty()) return WithTrailingSlash(xdg);
    return WithTrailingSlash(EnvironmentValue("HOME")) + ".config/";
}

std::string TemporaryFolder() {
    const std::string tmp = EnvironmentValue("TMPDIR");
    return WithTrailingSlash(tmp.empty() ? "/tmp" : tmp);
}

}  // namespace testbay
