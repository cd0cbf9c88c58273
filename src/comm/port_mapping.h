#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testbay {

// "COM<n>" names map to devices through the "Ports" section of Testbay.ini,
// so that scripts and stored settings keep their port numbers.

// The device behind "COM<n>": its "Ports" entry, else /dev/ttyS<n-1>.
std::string ComPortPath(int comNumber);
// Every mapped port as (n, device path), in file order.
std::vector<std::pair<int, std::string>> MappedComPorts();
// Maps "COM<n>" to `path`; non-zero on success.
int MapComPort(int comNumber, const std::string& path);
// The number of a "COM<n>" key, or 0 when `name` is no such key.
int ComNumberOf(const std::string& name);
// How long a network port may take to connect: "ConnectTimeout" in "Ports",
// in milliseconds; a value out of range is ignored for the default.
int ConnectTimeoutMs();

}  // namespace testbay
