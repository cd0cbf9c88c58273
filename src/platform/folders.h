#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace testbay {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Paths keep a trailing separator like every directory the program hands
// around (Windows takes '/' as well, so either counts there).
std::string WithTrailingSlash(std::string path);
// True when `path` names a directory, not only a file name.
bool HasDirectory(const std::string& path);
// Creates every missing directory along an absolute `path`; false at the
// first one that neither exists nor can be created.
bool CreateDirectoryPath(const std::string& path);

// A folder that this process holds for its life: a lock file inside stays
// locked while the object lives, so another instance never shares the folder,
// and a folder whose lock is free was left by an instance that died.
class OwnedFolder {
public:
    OwnedFolder() = default;
    // Releases the folder without deleting it.
    ~OwnedFolder() { Release(); }
    OwnedFolder(OwnedFolder&& other) noexcept { *this = std::move(other); }
    OwnedFolder& operator=(OwnedFolder&& other) noexcept {
        if (this != &other) {
            Release();
            path_ = std::exchange(other.path_, {});
            directory_ = std::exchange(other.directory_, -1);
            lock_ = std::exchange(other.lock_, -1);
        }
        return *this;
    }
    OwnedFolder(const OwnedFolder&) = delete;
    OwnedFolder& operator=(const OwnedFolder&) = delete;

    // Takes the folder `path`, created here when missing, when it belongs to
    // this user, is no link, is writable by nobody else and no live instance
    // holds it; what a dead instance left in it is deleted. Not held otherwise.
    // (Windows checks links and the lock only: its temporary path is the
    // user's own, and an administrator's folders belong to a group.)
    static OwnedFolder Claim(const std::string& path);
    // A new private folder whose name is `prefix` followed by a unique suffix.
    static OwnedFolder ClaimUnique(const std::string& prefix);

    bool Held() const { return !path_.empty(); }
    // With a trailing separator; "" when not held.
    const std::string& Path() const { return path_; }
    // Deletes the folder with everything below it, never through a link,
    // and releases it. Subdirectories whose names begin with '.' are not
    // descended into; what cannot be deleted is skipped, which then keeps
    // the folder.
    void Delete();

private:
    void Release();

    std::string path_;
    intptr_t directory_ = -1;
    intptr_t lock_ = -1;
};

// Creates `path` as a new empty file of this user for writing in text mode,
// in place of any entry of that name; never follows a link and never writes
// into a file that was there. nullptr when that cannot be done.
std::FILE* CreateFreshTextFile(const std::string& path);
// Opens `path` for appending in text mode, created for this user when
// missing; never through a link, and only a regular file. nullptr with the
// reason in `error` when that cannot be done.
std::FILE* OpenAppendedTextFile(const std::string& path, std::string& error);
// The names in a directory, without "." and "..".
std::vector<std::string> DirectoryEntries(const std::string& path);
// The name of an existing entry of `directory` that equals `name` without
// regard to ASCII case (files copied from Windows keep any case), else `name`.
std::string EntryNameIgnoringCase(const std::string& directory, const std::string& name);
// The path with links resolved, or `path` itself when it does not exist.
std::string CanonicalPath(const std::string& path);
// The value of an environment variable, or "" when unset.
std::string EnvironmentValue(const char* name);
// The user's application data folder: $XDG_CONFIG_HOME, else $HOME/.config
// (Windows: the roaming application data folder); "" when unknown.
std::string UserConfigFolder();
// The application data folder of all users: /var/lib/ (Windows: the common
// application data folder); "" when unknown.
std::string CommonDataFolder();
// The system folder that holds shared INI files: the user's configuration
// folder, else the temporary folder (Windows: the Windows directory).
std::string WindowsFolder();
// $TMPDIR, else /tmp (Windows: the system's temporary path).
std::string TemporaryFolder();
// The folder of the running program's executable; "" when unknown.
std::string ProgramFolder();

}  // namespace testbay
