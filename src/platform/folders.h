#pragma once

#include <string>
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
// True only when this call created the directory.
bool MakeNewDirectory(const std::string& path);
// Deletes a directory with everything below it. Subdirectories whose names
// begin with '.' are not descended into; what cannot be deleted is skipped,
// which then keeps the directories above it.
void DeleteDirectoryTree(const std::string& path);
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

}  // namespace testbay
