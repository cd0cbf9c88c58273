#pragma once

#include <string>

#include "platform/serial_open_failure.h"

namespace testbay {

// Why COM<n> could not be opened, for the user: "cannot open COM2
// (/dev/ttyUSB0): Device or resource busy; held by minicom (pid 4711)", with
// a hint where one is known.
std::string PortOpenFailureText(int comNumber, const std::string& device, const SerialOpenFailure& failure);
// A process that holds a port, as the user knows it: another Testbay
// document, the Testbay window, this program, or a program and its pid.
std::string HolderText(const DeviceHolder& holder);

}  // namespace testbay
