#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "automation/automation_document.h"
#include "automation/automation_types.h"

namespace testbay {

// One method of the automation interface. Its dispatch identifier is its
// position in the table, counted from 1.
struct AutomationMethod {
    const char* name;
    std::vector<ParamType> params;
    ReturnType returns;
    std::function<AutomationResult(CTESTBAYDoc& document, CallArgs& args)> call;
    // What a script's help shows: the parameters' names, in order, and what the method does.
    std::vector<const char*> paramNames = {};
    const char* summary = "";
};

const std::vector<AutomationMethod>& AutomationMethods();
// The method of that name without regard to case, or null.
const AutomationMethod* FindAutomationMethod(std::string_view name);
int DispIdOf(const AutomationMethod& method);

}  // namespace testbay
