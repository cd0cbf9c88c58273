#pragma once

#include <string>

namespace testbay {

// The device behind "COM<n>": the "Ports" entry "COM<n>" of Testbay.ini in
// `configDirectory`, else /dev/ttyS<n-1>.
std::string ComPortPath(const std::string& configDirectory, int comNumber);

}  // namespace testbay
