#pragma once

#include <string>
#include <vector>

namespace testbay {

// Serial devices that are really there: /dev/ttyS*, /dev/ttyUSB* and
// /dev/ttyACM* with a device under /sys/class/tty/<name>/device. Sorted.
std::vector<std::string> PresentSerialDevices(const std::string& devDirectory = "/dev/",
                                              const std::string& sysClassTty = "/sys/class/tty/");

}  // namespace testbay
