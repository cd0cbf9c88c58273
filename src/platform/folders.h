#pragma once

#include <string>
#include <vector>

namespace testbay {

// Paths keep a trailing '/' like every directory the program hands around.
std::string WithTrailingSlash(std::string path);
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
// $XDG_CONFIG_HOME, else $HOME/.config, with a trailing '/'; "" when neither
// variable is set.
std::string UserConfigFolder();
// $TMPDIR, else /tmp, with a trailing '/'.
std::string TemporaryFolder();

}  // namespace testbay
