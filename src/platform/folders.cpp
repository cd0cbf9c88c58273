#include "platform/folders.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace testbay {

std::string WithTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') path.push_back('/');
    return path;
}

bool HasDirectory(const std::string& path) { return path.find('/') != std::string::npos; }

bool CreateDirectoryPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return false;
    size_t next = 0;
    do {
        next = path.find('/', next + 1);
        const std::string prefix = path.substr(0, next);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    } while (next != std::string::npos);
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeNewDirectory(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* directory = opendir(path.c_str());
    if (!directory) return names;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(directory);
    return names;
}

void DeleteDirectoryTree(const std::string& path) {
    const std::string directory = WithTrailingSlash(path);
    for (const std::string& name : DirectoryEntries(directory)) {
        const std::string entry = directory + name;
        struct stat info {};
        const bool isDirectory = lstat(entry.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        if (isDirectory && name[0] != '.') {
            DeleteDirectoryTree(entry);
        } else {
            unlink(entry.c_str());
        }
    }
    rmdir(directory.c_str());
}

std::string EntryNameIgnoringCase(const std::string& directory, const std::string& name) {
    if (access((directory + name).c_str(), F_OK) == 0) return name;
    for (const std::string& entry : DirectoryEntries(directory)) {
        if (strcasecmp(entry.c_str(), name.c_str()) == 0) return entry;
    }
    return name;
}

std::string CanonicalPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string canonical = resolved;
    free(resolved);
    return canonical;
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string UserConfigFolder() {
    const std::string xdg = EnvironmentValue("XDG_CONFIG_HOME");
    if (!xdg.empty()) return WithTrailingSlash(xdg);
    const std::string home = EnvironmentValue("HOME");
    return home.empty() ? std::string() : WithTrailingSlash(home) + ".config/";
}

std::string CommonDataFolder() { return "/var/lib/"; }

std::string WindowsFolder() {
    const std::string user = UserConfigFolder();
    return user.empty() ? TemporaryFolder() : user;
}

std::string TemporaryFolder() {
    const std::string tmp = EnvironmentValue("TMPDIR");
    return WithTrailingSlash(tmp.empty() ? "/tmp" : tmp);
}

}  // namespace testbay
