#include <gtest/gtest.h>

#include <cmath>

#include "automation/automation_arguments.h"

namespace testbay {
namespace {

using Kind = DispatchArgument::Kind;

DispatchArgument Real(double value) { return {Kind::Real, 0, value, {}}; }

TEST(DispatchArguments, NumbersConvertAsScriptsConvertThemAndTextsOnlyToStrings) {
    EXPECT_EQ(ConvertDispatchArgument(Real(2.5), ParamType::Long, 1), AutomationValue{int32_t{2}});
    EXPECT_EQ(ConvertDispatchArgument(Real(3.5), ParamType::LongRef, 1), AutomationValue{int32_t{4}});
    EXPECT_EQ(ConvertDispatchArgument(Real(-0.4), ParamType::Bool, 1), AutomationValue{int32_t{0}});
    EXPECT_EQ(ConvertDispatchArgument({Kind::Boolean, -1, 0, {}}, ParamType::Bool, 1), AutomationValue{int32_t{1}});
    EXPECT_EQ(ConvertDispatchArgument({Kind::Boolean, -1, 0, {}}, ParamType::Long, 1), AutomationValue{int32_t{-1}});
    EXPECT_EQ(ConvertDispatchArgument({Kind::Integer, 7, 0, {}}, ParamType::DoubleRef, 1), AutomationValue{7.0});
    EXPECT_EQ(ConvertDispatchArgument({}, ParamType::StringRef, 1), AutomationValue{std::string()});
    EXPECT_EQ(ConvertDispatchArgument({}, ParamType::Double, 1), AutomationValue{0.0});

    const std::pair<DispatchArgument, ParamType> refused[] = {
        {Real(3e9), ParamType::Long},
        {Real(std::nan("")), ParamType::Long},
        {{Kind::Text, 0, 0, "5"}, ParamType::Long},
        {{Kind::Text, 0, 0, "5"}, ParamType::Double},
        {{Kind::Integer, 5, 0, {}}, ParamType::String},
        {{Kind::Unsupported, 0, 0, {}}, ParamType::Bool},
    };
    for (const auto& [argument, type] : refused) {
        try {
            ConvertDispatchArgument(argument, type, 4);
            ADD_FAILURE() << ParamTypeName(type);
        } catch (const AutomationParamError& error) {
            EXPECT_EQ(error.position, 4u);
        }
    }
}

}  // namespace
}  // namespace testbay
