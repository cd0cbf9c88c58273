#include "platform/machine_registry.h"

namespace testbay {

bool WriteMachineRegistryString(const std::string&, const std::string&, const std::string&) { return false; }

}  // namespace testbay
