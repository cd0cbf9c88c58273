#include "platform/folders.h"

#include <windows.h>
#include <shlobj.h>

#include <cctype>
#include <cstdlib>

#include "platform/text_win.h"

namespace testbay {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

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

bool MakeNewDirectory(const std::string& path) { return CreateDirectoryW(WideText(path).c_str(), nullptr) != 0; }

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

void DeleteDirectoryTree(const std::string& path) {
    const std::string directory = WithTrailingSlash(path);
    for (const std::string& name : DirectoryEntries(directory)) {
        const std::wstring entry = WideText(directory + name);
        const DWORD attributes = GetFileAttributesW(entry.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(entry.c_str());
        } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            RemoveDirectoryW(entry.c_str());  // a link: removed, never followed
        } else if (name[0] != '.') {
            DeleteDirectoryTree(directory + name);
        }
    }
    RemoveDirectoryW(WideText(directory).c_str());
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

}  // namespace testbay
