#include "automation/automation_arguments.h"

#include <cmath>

namespace testbay {
namespace {

using Kind = DispatchArgument::Kind;

AutomationParamError Mismatch(size_t position, ParamType type) {
    return AutomationParamError{position, std::string("expected ") + ParamTypeName(type)};
}

// Reals become longs rounded half to even, as the scripting clients convert them.
int32_t ToLong(const DispatchArgument& argument, ParamType type, size_t position) {
    switch (argument.kind) {
    case Kind::Empty: return 0;
    case Kind::Integer:
    case Kind::Boolean: return argument.integer;
    case Kind::Real: {
        const double rounded = std::nearbyint(argument.real);
        if (!(rounded >= INT32_MIN && rounded <= INT32_MAX)) throw Mismatch(position, type);
        return static_cast<int32_t>(rounded);
    }
    default: throw Mismatch(position, type);
    }
}

double ToDouble(const DispatchArgument& argument, ParamType type, size_t position) {
    switch (argument.kind) {
    case Kind::Empty: return 0.0;
    case Kind::Integer:
    case Kind::Boolean: return argument.integer;
    case Kind::Real: return argument.real;
    default: throw Mismatch(position, type);
    }
}

}  // namespace

AutomationValue ConvertDispatchArgument(const DispatchArgument& argument, ParamType type, size_t position) {
    switch (type) {
    case ParamType::Long:
    case ParamType::LongRef: return ToLong(argument, type, position);
    case ParamType::Bool:
    case ParamType::BoolRef: return int32_t{ToLong(argument, type, position) != 0 ? 1 : 0};
    case ParamType::Double:
    case ParamType::DoubleRef: return ToDouble(argument, type, position);
    case ParamType::String:
    case ParamType::StringRef:
        if (argument.kind == Kind::Empty) return std::string();
        if (argument.kind != Kind::Text) throw Mismatch(position, type);
        return argument.text;
    }
    throw Mismatch(position, type);
}

AutomationValue OmittedByReference(ParamType type) {
    if (type == ParamType::DoubleRef) return 0.0;
    if (type == ParamType::StringRef) return std::string();
    return int32_t{0};
}

}  // namespace testbay
