#pragma once

#include <cstdint>
#include <string>

#include "automation/automation_types.h"

namespace testbay {

// One argument as a dispatch client passed it, read out of its variant.
struct DispatchArgument {
    enum class Kind { Empty, Integer, Real, Boolean, Text, Unsupported };
    Kind kind = Kind::Empty;
    int32_t integer = 0;  // Integer; Boolean as -1 or 0, as the clients hold it
    double real = 0;
    std::string text;  // Text as 8-bit characters
};

// The value of the table's parameter kind `type` for what the client passed;
// a text where a number is needed (and the reverse) is an AutomationParamError
// at `position`.
AutomationValue ConvertDispatchArgument(const DispatchArgument& argument, ParamType type, size_t position);

// The value a by-reference parameter starts with when the client left it out.
AutomationValue OmittedByReference(ParamType type);

}  // namespace testbay
