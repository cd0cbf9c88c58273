#include "platform/folders.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shlobj.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <system_error>

#include "platform/text_win.h"

namespace testbay {
namespace {

constexpr char kLockName[] = "testbay.lock";
constexpr int kUniqueNameAttempts = 100;
// Deeper trees in the program's own folder are not its doing; they are left.
constexpr int kMaxDeleteDepth = 32;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
    return path;
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WideText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ShellFolder(int csidl) {
    wchar_t path[MAX_PATH];
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return {};
    return WithTrailingSlash(NarrowText(path));
}

// Where the walk of CreateDirectoryPath starts: after "X:\" or "\\server\".
size_t RootLength(const std::string& path) {
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        IsSeparator(path[2])) {
        return 3;
    }
    if (path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const size_t server = path.find_first_of("\\/", 2);
        return server == std::string::npos || server == 2 ? 0 : server + 1;
    }
    return 0;
}

}  // namespace

std::string WithTrailingSlash(std::string path) {
    if (path.empty() || !IsSeparator(path.back())) path.push_back(kPathSeparator);
    return path;
}

bool HasDirectory(const std::string& path) { return path.find_first_of("\\/:") != std::string::npos; }

bool CreateDirectoryPath(const std::string& path) {
    size_t next = RootLength(path);
    if (next == 0) return false;
    while (next < path.size()) {
        next = path.find_first_of("\\/", next);
        if (next == std::string::npos) next = path.size();
        const std::string prefix = path.substr(0, next);
        if (!CreateDirectoryW(WideText(prefix).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        ++next;
    }
    return IsDirectory(path);
}

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(WideText(WithTrailingSlash(path) + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = NarrowText(entry.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

namespace {

// Everything in `directory` but `keep`; a link (reparse point) is removed
// itself and never followed.
void DeleteEntries(const std::string& directory, const char* keep, int depth) {
    for (const std::string& name : DirectoryEntries(directory)) {
        if (keep && name == keep) continue;
        const std::wstring entry = WideText(directory + name);
        const DWORD attributes = GetFileAttributesW(entry.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(entry.c_str());
        } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            RemoveDirectoryW(entry.c_str());
        } else if (name[0] != '.' && depth < kMaxDeleteDepth) {
            DeleteEntries(WithTrailingSlash(directory + name), nullptr, depth + 1);
            RemoveDirectoryW(entry.c_str());
        }
    }
}

}  // namespace

void OwnedFolder::Release() {
    if (lock_ != -1) CloseHandle(AsHandle(lock_));
    if (directory_ != -1) CloseHandle(AsHandle(directory_));
    lock_ = directory_ = -1;
    path_.clear();
}

OwnedFolder OwnedFolder::Claim(const std::string& path) {
    OwnedFolder folder;
    const std::string name = WithoutTrailingSeparator(path);
    const std::wstring wideName = WideText(name);
    CreateDirectoryW(wideName.c_str(), nullptr);
    // Held open without delete sharing: nobody renames the folder or puts a
    // link in its place while it is ours.
    const HANDLE directory =
        CreateFileW(wideName.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return folder;
    folder.directory_ = reinterpret_cast<intptr_t>(directory);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(directory, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return folder;
    }
    // Without sharing: a second open fails for as long as the holder lives.
    const HANDLE lock = CreateFileW(WideText(name + kPathSeparator + kLockName).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    0, nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (lock == INVALID_HANDLE_VALUE) return folder;
    folder.lock_ = reinterpret_cast<intptr_t>(lock);
    if (!GetFileInformationByHandle(lock, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return folder;
    }
    folder.path_ = WithTrailingSlash(name);
    DeleteEntries(folder.path_, kLockName, 0);
    return folder;
}

OwnedFolder OwnedFolder::ClaimUnique(const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        const std::string candidate = prefix + std::to_string(random());
        if (CreateDirectoryW(WideText(candidate).c_str(), nullptr)) return Claim(candidate);
    }
    return {};
}

void OwnedFolder::Delete() {
    if (!Held()) return;
    const std::string folder = path_;
    DeleteEntries(folder, kLockName, 0);
    Release();
    DeleteFileW(WideText(folder + kLockName).c_str());
    RemoveDirectoryW(WideText(folder).c_str());
}

std::FILE* CreateFreshTextFile(const std::string& path) {
    const std::wstring name = WideText(path);
    const auto create = [&name] {
        return CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    HANDLE file = create();
    // An entry of that name is replaced, not written through.
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS && DeleteFileW(name.c_str())) {
        file = create();
    }
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_TEXT);
    if (descriptor < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "w");
    if (!stream) _close(descriptor);
    return stream;
}

std::FILE* OpenAppendedTextFile(const std::string& path, std::string& error) {
    // A reparse point is opened itself, not its target, and then refused.
    HANDLE file = CreateFileW(WideText(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = std::system_category().message(static_cast<int>(GetLastError()));
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) || GetFileType(file) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        error = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? "it is a link" : "it is no regular file";
        CloseHandle(file);
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_APPEND | _O_TEXT);
    if (descriptor < 0) {
        error = "no descriptor for it";
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "a");
    if (!stream) {
        error = "no stream for it";
        _close(descriptor);
    }
    return stream;
}

// The file system already matches names without regard to case.
std::string EntryNameIgnoringCase(const std::string&, const std::string& name) { return name; }

std::string CanonicalPath(const std::string& path) {
    wchar_t full[MAX_PATH];
    const DWORD length = GetFullPathNameW(WideText(path).c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH || GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) return path;
    return NarrowText(full);
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string UserConfigFolder() { return ShellFolder(CSIDL_APPDATA); }

std::string CommonDataFolder() { return ShellFolder(CSIDL_COMMON_APPDATA); }

std::string WindowsFolder() {
    wchar_t path[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return TemporaryFolder();
    return WithTrailingSlash(NarrowText(path));
}

std::string TemporaryFolder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return "C:\\";
    return WithTrailingSlash(NarrowText(path));
}

std::string ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return NarrowText(folder);
}

}  // namespace testbay
