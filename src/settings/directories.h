#pragma once

#include <string>

namespace testbay {

// Where the settings files live, with a trailing '/'. Fixed at start-up;
// until then the same rules as at start-up give it.
std::string ConfigDirectory();
void SetConfigDirectory(const std::string& directory);
// The start-up rules: TESTBAY_CONFIG_DIR; else the common folder below
// /var/lib when it exists or can be created; else the user's configuration
// folder; else the Windows-directory counterpart. Missing directories along
// the chosen path are created.
std::string ChooseConfigDirectory();

// The Windows-directory counterpart that holds TESTBAY.INI:
// TESTBAY_WINDOWS_DIR, else the user's configuration folder.
std::string WindowsDirectory();

// The program's scratch directory, with a trailing '/'.
std::string TempDirectory();
void SetTempDirectory(const std::string& directory);

}  // namespace testbay
