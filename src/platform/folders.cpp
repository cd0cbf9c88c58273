#include "platform/folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace testbay {
namespace {

constexpr char kLockName[] = "testbay.lock";
// Deeper trees in the program's own folder are not its doing; they are left.
constexpr int kMaxDeleteDepth = 32;

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::vector<std::string> EntriesOf(int directory) {
    std::vector<std::string> names;
    const int handle = dup(directory);
    if (handle < 0) return names;
    DIR* listing = fdopendir(handle);
    if (!listing) {
        close(handle);
        return names;
    }
    // The copy shares its position with `directory`, which an earlier listing moved.
    rewinddir(listing);
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
    return names;
}

// Everything in `directory` but `keep`, relative to the open directory so
// that no name is looked up through a link.
void DeleteEntriesAt(int directory, const char* keep, int depth) {
    for (const std::string& name : EntriesOf(directory)) {
        if (keep && name == keep) continue;
        struct stat info {};
        if (fstatat(directory, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(info.st_mode)) {
            unlinkat(directory, name.c_str(), 0);
            continue;
        }
        if (name[0] == '.' || depth >= kMaxDeleteDepth) continue;
        const int below = openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (below < 0) continue;
        DeleteEntriesAt(below, nullptr, depth + 1);
        close(below);
        unlinkat(directory, name.c_str(), AT_REMOVEDIR);
    }
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The lock is ours only while the locked file is still the one of that name:
// an instance that ends unlinks it before it lets go of the lock.
bool LockStillLinked(int directory, int lock) {
    struct stat locked {};
    struct stat linked {};
    return fstat(lock, &locked) == 0 && S_ISREG(locked.st_mode) &&
           fstatat(directory, kLockName, &linked, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(locked, linked);
}

}  // namespace

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

std::vector<std::string> DirectoryEntries(const std::string& path) {
    const int directory = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return {};
    std::vector<std::string> names = EntriesOf(directory);
    close(directory);
    return names;
}

void OwnedFolder::Release() {
    if (lock_ >= 0) close(static_cast<int>(lock_));
    if (directory_ >= 0) close(static_cast<int>(directory_));
    lock_ = directory_ = -1;
    path_.clear();
}

OwnedFolder OwnedFolder::Claim(const std::string& path) {
    OwnedFolder folder;
    const std::string name = WithoutTrailingSlash(path);
    mkdir(name.c_str(), 0700);
    const int directory = open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory < 0) return folder;
    folder.directory_ = directory;
    struct stat info {};
    if (fstat(directory, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH))) {
        return folder;
    }
    const int lock = openat(directory, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0) return folder;
    folder.lock_ = lock;
    if (flock(lock, LOCK_EX | LOCK_NB) != 0 || !LockStillLinked(directory, lock)) return folder;
    DeleteEntriesAt(directory, kLockName, 0);
    folder.path_ = WithTrailingSlash(name);
    return folder;
}

OwnedFolder OwnedFolder::ClaimUnique(const std::string& prefix) {
    std::string pattern = prefix + "XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    return Claim(pattern);
}

void OwnedFolder::Delete() {
    if (!Held()) return;
    const int directory = static_cast<int>(directory_);
    DeleteEntriesAt(directory, kLockName, 0);
    unlinkat(directory, kLockName, 0);
    // Only the folder that was opened, not whatever now has its name.
    const std::string name = WithoutTrailingSlash(path_);
    struct stat opened {};
    struct stat named {};
    if (fstat(directory, &opened) == 0 && lstat(name.c_str(), &named) == 0 && SameFile(opened, named)) {
        rmdir(name.c_str());
    }
    Release();
}

std::FILE* CreateFreshTextFile(const std::string& path) {
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int file = open(path.c_str(), kFlags, 0600);
    // An entry of that name is replaced, not written through.
    if (file < 0 && errno == EEXIST && unlink(path.c_str()) == 0) file = open(path.c_str(), kFlags, 0600);
    if (file < 0) return nullptr;
    std::FILE* stream = fdopen(file, "w");
    if (!stream) close(file);
    return stream;
}

std::FILE* OpenAppendedTextFile(const std::string& path, std::string& error) {
    // Non-blocking, so that a FIFO of that name cannot hold the start-up.
    const int file = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (file < 0) {
        error = errno == ELOOP ? "it is a link" : std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(file);
        error = "it is no regular file";
        return nullptr;
    }
    fcntl(file, F_SETFL, O_APPEND);
    std::FILE* stream = fdopen(file, "a");
    if (!stream) {
        error = std::strerror(errno);
        close(file);
    }
    return stream;
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

std::string ProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) return {};
    path.resize(static_cast<size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace testbay
