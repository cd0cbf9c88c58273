#pragma once

#include <string>

namespace testbay {

// Creates (or opens) `keyPath` below HKEY_LOCAL_MACHINE and sets the default
// value of its subkey `subkey` to the string `value`. True only when both
// succeeded; Linux has no such registry and always answers false.
bool WriteMachineRegistryString(const std::string& keyPath, const std::string& subkey, const std::string& value);

}  // namespace testbay
