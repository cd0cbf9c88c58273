#pragma once

#include <string>

namespace testbay {

// Where the settings files live, with a trailing '/'. TESTBAY_CONFIG_DIR
// overrides; otherwise the common folder below /var/lib when it exists or can
// be created, else the user's configuration folder.
std::string ConfigDirectory();
void SetConfigDirectory(const std::string& directory);

// The program's scratch directory, with a trailing '/'.
std::string TempDirectory();
void SetTempDirectory(const std::string& directory);

}  // namespace testbay
