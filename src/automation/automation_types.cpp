#include "automation/automation_types.h"

#include <algorithm>

namespace testbay {

const char* ParamTypeName(ParamType type) {
    switch (type) {
    case ParamType::Long: return "long";
    case ParamType::Double: return "double";
    case ParamType::Bool: return "BOOL";
    case ParamType::String: return "string";
    case ParamType::LongRef: return "long*";
    case ParamType::DoubleRef: return "double*";
    case ParamType::StringRef: return "string*";
    case ParamType::BoolRef: return "BOOL*";
    }
    return "?";
}

const char* ReturnTypeName(ReturnType type) {
    switch (type) {
    case ReturnType::Bool: return "BOOL";
    case ReturnType::Long: return "long";
    case ReturnType::String: return "string";
    }
    return "?";
}

std::vector<uint8_t> LeadingBytes(const std::string& text, int32_t length, size_t position) {
    if (length < 0 || static_cast<size_t>(length) > text.size() + 1) {
        throw AutomationParamError{position, "length " + std::to_string(length) + " exceeds the string of " +
                                                 std::to_string(text.size()) + " characters"};
    }
    std::vector<uint8_t> bytes(text.begin(), text.begin() + std::min<long>(length, static_cast<long>(text.size())));
    bytes.resize(static_cast<size_t>(length), 0);
    return bytes;
}

size_t RequestLength(int32_t length, size_t limit, size_t position) {
    if (length < 0 || static_cast<size_t>(length) > limit) {
        throw AutomationParamError{position,
                                   "length " + std::to_string(length) + " is outside 0 to " + std::to_string(limit)};
    }
    return static_cast<size_t>(length);
}

void CopyInPlace(std::string& target, const std::string& bytes, bool withTerminator) {
    const size_t count = std::min(target.size(), bytes.size());
    std::copy_n(bytes.begin(), count, target.begin());
    if (withTerminator && count < target.size()) target[count] = '\0';
}

}  // namespace testbay
