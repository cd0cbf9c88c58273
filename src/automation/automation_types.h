#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace testbay {

// Parameter kinds of the automation methods; the by-reference kinds are
// in/out.
enum class ParamType { Long, Double, Bool, String, LongRef, DoubleRef, StringRef, BoolRef };
enum class ReturnType { Bool, Long, String };

inline bool IsByReference(ParamType type) {
    return type == ParamType::LongRef || type == ParamType::DoubleRef || type == ParamType::StringRef ||
           type == ParamType::BoolRef;
}
const char* ParamTypeName(ParamType type);
const char* ReturnTypeName(ReturnType type);

// One argument as a call sees it. Strings are 8-bit texts, one byte per
// character.
using AutomationValue = std::variant<int32_t, double, std::string>;

// What a method returns: a number (BOOL or long) or a string, where no
// string at all is the empty null string.
using AutomationResult = std::variant<int32_t, std::optional<std::string>>;

// The arguments of one call, typed by the method's parameter list.
class CallArgs {
public:
    explicit CallArgs(std::vector<AutomationValue> values) : values_(std::move(values)) {}

    int32_t Long(size_t index) const { return std::get<int32_t>(values_.at(index)); }
    double Double(size_t index) const { return std::get<double>(values_.at(index)); }
    // BOOL arguments arrive as 1 or 0.
    int32_t Bool(size_t index) const { return Long(index) != 0 ? 1 : 0; }
    const std::string& String(size_t index) const { return std::get<std::string>(values_.at(index)); }
    int32_t& LongRef(size_t index) { return std::get<int32_t>(values_.at(index)); }
    double& DoubleRef(size_t index) { return std::get<double>(values_.at(index)); }
    std::string& StringRef(size_t index) { return std::get<std::string>(values_.at(index)); }

    const std::vector<AutomationValue>& Values() const { return values_; }

private:
    std::vector<AutomationValue> values_;
};

// A call argument that the method cannot take; ends the call as a parameter
// error. `position` counts from 1.
struct AutomationParamError {
    size_t position;
    std::string message;
};

// The first `length` bytes of a caller's string. A string carries a zero byte
// after its characters, so one byte more than its length may be read; asking
// for more is a parameter error at `position`.
std::vector<uint8_t> LeadingBytes(const std::string& text, int32_t length, size_t position);

// The number of bytes a call asks for: `length` when it is neither negative
// nor beyond `limit`; else a parameter error at `position`. The caller's
// string only bounds what is copied back (see CopyInPlace).
size_t RequestLength(int32_t length, size_t limit, size_t position);

// Writes `bytes` (and, when `withTerminator`, a zero byte after them) into
// `target` from its first character on, never past its length and without
// changing its length: the caller's string is the room.
void CopyInPlace(std::string& target, const std::string& bytes, bool withTerminator = true);

}  // namespace testbay
