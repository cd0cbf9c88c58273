#include "comm/port_open_failure.h"

#include <strings.h>

#include <algorithm>

namespace testbay {
namespace {

// The switches with which the program serves an automation client.
constexpr const char* kDocumentSwitches[] = {"Automation", "Embedding", "JsonRpc"};

bool IsTestbay(const std::string& program) {
    return strcasecmp(program.c_str(), "testbay") == 0 || strcasecmp(program.c_str(), "testbay.exe") == 0;
}

bool ServesAutomation(const DeviceHolder& holder) {
    return std::any_of(holder.arguments.begin(), holder.arguments.end(), [](const std::string& argument) {
        if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) return false;
        return std::any_of(std::begin(kDocumentSwitches), std::end(kDocumentSwitches),
                           [&](const char* name) { return strcasecmp(argument.c_str() + 1, name) == 0; });
    });
}

std::string Pid(const DeviceHolder& holder) { return "pid " + std::to_string(holder.pid); }

}  // namespace

std::string HolderText(const DeviceHolder& holder) {
    if (holder.thisProcess) return "this program (an earlier connection to it is still open)";
    if (IsTestbay(holder.program)) {
        if (holder.pid == 0) return "another Testbay program";
        return (ServesAutomation(holder) ? "another Testbay document (" : "the Testbay window (") + Pid(holder) + ")";
    }
    if (holder.program.empty()) return "process " + std::to_string(holder.pid);
    return holder.program + " (" + Pid(holder) + ")";
}

std::string PortOpenFailureText(int comNumber, const std::string& device, const SerialOpenFailure& failure) {
    std::string text = "cannot open COM" + std::to_string(comNumber);
    if (!device.empty()) text += " (" + device + ")";
    if (!failure.systemText.empty()) text += ": " + failure.systemText;
    for (size_t index = 0; index < failure.holders.size(); ++index) {
        text += (index == 0 ? "; held by " : ", ") + HolderText(failure.holders[index]);
    }
    if (!failure.hint.empty()) text += "; " + failure.hint;
    return text;
}

}  // namespace testbay
