#include "platform/profile_storage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace testbay {
namespace {

// 0 and the whole content, or the errno of the failure.
int ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buffer[65536];
    int error = 0;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            content.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            error = errno;
            break;
        }
    }
    close(fd);
    return error;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A symbolic link stays a link: the file it names is the one replaced (and locked).
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target(resolved);
    free(resolved);
    return target;
}

// Holds the exclusive lock of a profile file while it lives.
class ProfileLock {
public:
    explicit ProfileLock(const std::string& target) {
        std::string lockPath = target + ".lock";
        fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        // Another user's lock file may not be writable for us; a lock needs no write access.
        if (fd_ < 0 && errno == EACCES) fd_ = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~ProfileLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the lock
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Writes content to a temporary file beside target and renames it over target.
// Called under the lock, so one fixed temporary name serves; one found there is
// the leftover of a writer that was killed.
bool ReplaceFile(const std::string& target, std::string_view content, const struct stat* existing) {
    std::string temp = target + ".tmp";
    unlink(temp.c_str());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = true;
    if (existing) {
        struct stat mine {};
        if (fstat(fd, &mine) == 0 && (mine.st_uid != existing->st_uid || mine.st_gid != existing->st_gid)) {
            if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
                // Only the owner's permissions can be kept then; the file becomes ours.
            }
        }
        ok = fchmod(fd, existing->st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, content) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the file is complete either way.
    int dir = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace

bool ReadProfileFile(const std::string& path, std::string& content) { return ReadWholeFile(path, content) == 0; }

bool EditProfileFile(const std::string& path, const ProfileEdit& edit) {
    std::string target = ResolveTarget(path);
    ProfileLock lock(target);
    if (!lock.Held()) return false;

    std::string content;
    struct stat st {};
    bool exists = stat(target.c_str(), &st) == 0;
    if (int error = ReadWholeFile(target, content); error != 0 && error != ENOENT) return false;

    std::optional<std::string> updated = edit(content);
    if (!updated) return true;
    return ReplaceFile(target, *updated, exists ? &st : nullptr);
}

}  // namespace testbay
