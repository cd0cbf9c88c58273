#pragma once

#include <string>
#include <vector>

namespace testbay {

#ifdef _WIN32
// The ports the system lists under HARDWARE\DEVICEMAP\SERIALCOMM, as
// "\\.\COM<n>" device paths. Sorted.
std::vector<std::string> PresentSerialDevices();
#else
// Serial devices that are really there: /dev/ttyS*, /dev/ttyUSB* and
// /dev/ttyACM* with a device under /sys/class/tty/<name>/device. Sorted.
std::vector<std::string> PresentSerialDevices(const std::string& devDirectory = "/dev/",
                                              const std::string& sysClassTty = "/sys/class/tty/");
#endif

// The device of "COM<n>" when no setting maps it elsewhere.
std::string DefaultComDevice(int comNumber);
// The n of a device that is "COM<n>" by default, else 0.
int DefaultComNumber(const std::string& device);

}  // namespace testbay
