#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace testbay {

// The file side of profile files, one source per system.

// The whole file; false when it is missing or cannot be read.
bool ReadProfileFile(const std::string& path, std::string& content);

// The new content, or nothing when the file stays as it is.
using ProfileEdit = std::function<std::optional<std::string>(std::string_view content)>;
// Under the file's lock against other processes: reads it (a missing file
// reads as empty), applies `edit` and replaces the file atomically. False
// when the lock, the read or the write fails; the old file is then intact.
bool EditProfileFile(const std::string& path, const ProfileEdit& edit);

}  // namespace testbay
