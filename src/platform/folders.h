#pragma once

#include <string>

namespace testbay {

// Paths keep a trailing '/' like every directory the program hands around.
std::string WithTrailingSlash(std::string path);
// Creates every missing directory along `path`; false at the first one that
// neither exists nor can be created.
bool CreateDirectoryPath(const std::string& path);
// The value of an environment variable, or "" when unset.
std::string EnvironmentValue(const char* name);
// $XDG_CONFIG_HOME, else $HOME/.config, with a trailing '/'.
std::string UserConfigFolder();
// $TMPDIR, else /tmp, with a trailing '/'.
std::string TemporaryFolder();

}  // namespace testbay
