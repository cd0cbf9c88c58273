#pragma once

#include <string>
#include <vector>

#include "platform/serial_open_failure.h"

namespace testbay {

// The processes that hold `device` open: those with a lock on it in
// <procRoot>locks, else those with a descriptor of it in <procRoot><pid>/fd.
// The search looks at a bounded number of descriptors; it may come back
// empty (another user's processes are not readable without privileges).
std::vector<DeviceHolder> FindDeviceHolders(const std::string& device, const std::string& procRoot = "/proc/");

// What the user lacks for a device that refused access: the group it
// belongs to, which the user is not in. "" when nothing is known.
std::string AccessHint(const std::string& device);

// The facts AccessHint words.
struct DeviceAccess {
    std::string group;       // the device's group
    std::string user;        // the user the program runs as
    bool inProcess = false;  // this process runs with that group
    bool listed = false;     // the group lists the user (maybe since a later login)
    bool groupMayReadWrite = false;
};
std::string AccessHintText(const DeviceAccess& access);

}  // namespace testbay
