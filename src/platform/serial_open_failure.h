#pragma once

#include <string>
#include <vector>

namespace testbay {

// The process that has a serial device open.
struct DeviceHolder {
    long pid = 0;                        // 0 when the system does not tell
    std::string program;                 // its program name, as the process list shows it
    std::vector<std::string> arguments;  // its command-line arguments after the program
    bool thisProcess = false;
};

// Why a serial device could not be opened, in the system's words and, where
// the system tells, who holds the device and what would help.
struct SerialOpenFailure {
    int error = 0;           // an errno value (the Windows build maps its codes)
    std::string systemText;  // the system's own text for the error
    std::vector<DeviceHolder> holders;
    std::string hint;  // "" when nothing is known that would help
};

}  // namespace testbay
