#include "app/automation_server.h"

#include <nlohmann/json.hpp>
#include <string>

namespace testbay {
namespace {

using nlohmann::json;

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;

json Error(const json& id, int code, const std::string& message) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json Reply(const std::string& line) {
    const json request = json::parse(line, nullptr, false);
    if (request.is_discarded()) return Error(nullptr, kParseError, "Parse error");
    if (!request.is_object() || !request.contains("method") || !request["method"].is_string()) {
        return Error(request.is_object() && request.contains("id") ? request["id"] : json(nullptr), kInvalidRequest,
                     "Invalid Request");
    }
    return Error(request.value("id", json(nullptr)), kMethodNotFound,
                 "Method not found: " + request["method"].get<std::string>());
}

}  // namespace

void RunAutomationServer(std::istream& input, std::ostream& output, const std::atomic<bool>& stop) {
    std::string line;
    while (!stop.load() && std::getline(input, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        output << Reply(line).dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
    }
}

}  // namespace testbay
