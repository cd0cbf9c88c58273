#include "platform/profile_storage.h"

#include <windows.h>

#include "platform/clock.h"
#include "platform/text_win.h"

namespace testbay {
namespace {

// Another program (a virus scanner, an editor) may hold the file for a moment.
constexpr int kReplaceAttempts = 5;
constexpr int kReplacePauseMs = 20;

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (Valid()) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Readers share everything, so that a writer can still replace the file.
HANDLE OpenForReading(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// ERROR_SUCCESS and the whole content, or the error of the failure.
DWORD ReadWholeFile(const std::wstring& path, std::string& content) {
    content.clear();
    Handle file(OpenForReading(path));
    if (!file.Valid()) return GetLastError();
    char buffer[65536];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &count, nullptr)) return GetLastError();
        if (count == 0) return ERROR_SUCCESS;
        content.append(buffer, count);
    }
}

bool WriteAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        DWORD written = 0;
        const DWORD chunk = data.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(data.size());
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

// Holds the exclusive lock of a profile file while it lives; the lock goes
// with the handle, also when the process is killed.
class ProfileLock {
public:
    explicit ProfileLock(const std::wstring& target)
        : file_(CreateFileW((target + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!file_.Valid()) return;
        OVERLAPPED whole{};
        held_ = LockFileEx(file_.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != 0;
    }
    ~ProfileLock() {
        if (!held_) return;
        OVERLAPPED whole{};
        UnlockFileEx(file_.Get(), 0, MAXDWORD, MAXDWORD, &whole);
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;
    bool Held() const { return held_; }

private:
    Handle file_;
    bool held_ = false;
};

bool IsTransientSharingError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// Writes content to a temporary file beside target and moves it over target.
// Called under the lock, so one fixed temporary name serves.
bool ReplaceFileContent(const std::wstring& target, std::string_view content) {
    const std::wstring temp = target + L".tmp";
    {
        Handle file(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return false;
        if (!WriteAll(file.Get(), content) || !FlushFileBuffers(file.Get())) {
            DeleteFileW(temp.c_str());
            return false;
        }
    }
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (attempt == kReplaceAttempts || !IsTransientSharingError(GetLastError())) break;
        ProcessClock().SleepMs(kReplacePauseMs);
    }
    DeleteFileW(temp.c_str());
    return false;
}

}  // namespace

bool ReadProfileFile(const std::string& path, std::string& content) {
    return ReadWholeFile(WideText(path), content) == ERROR_SUCCESS;
}

bool EditProfileFile(const std::string& path, const ProfileEdit& edit) {
    const std::wstring target = WideText(path);
    ProfileLock lock(target);
    if (!lock.Held()) return false;

    std::string content;
    const DWORD error = ReadWholeFile(target, content);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return false;

    std::optional<std::string> updated = edit(content);
    if (!updated) return true;
    return ReplaceFileContent(target, *updated);
}

}  // namespace testbay
