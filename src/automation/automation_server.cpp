#include "automation/automation_server.h"

#include <nlohmann/json.hpp>

#include "automation/automation_methods.h"
#include "automation/name_suggestion.h"
#include "comm/com_exception.h"
#include "platform/stop_request.h"

namespace testbay {
namespace {

using nlohmann::json;

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kSerialError = -32000;

struct RpcError {
    int code;
    std::string message;
};

json ErrorReply(const json& id, int code, const std::string& message) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

RpcError ParamError(size_t position, const std::string& what) {
    return {kInvalidParams, "parameter " + std::to_string(position) + ": " + what};
}

int32_t ToLong(const json& value, size_t position, ParamType type) {
    if (!value.is_number_integer()) throw ParamError(position, std::string("expected ") + ParamTypeName(type));
    const int64_t number =
        value.is_number_unsigned() && value.get<uint64_t>() > INT64_MAX ? INT64_MAX : value.get<int64_t>();
    if (number < INT32_MIN || number > UINT32_MAX) throw ParamError(position, "outside 32 bits");
    return static_cast<int32_t>(static_cast<uint32_t>(number));
}

AutomationValue ToValue(const json& value, ParamType type, size_t position) {
    const std::string expected = std::string("expected ") + ParamTypeName(type);
    switch (type) {
    case ParamType::Long:
    case ParamType::LongRef: return ToLong(value, position, type);
    case ParamType::Bool:
    case ParamType::BoolRef:
        if (value.is_boolean()) return int32_t{value.get<bool>() ? 1 : 0};
        return int32_t{ToLong(value, position, type) != 0 ? 1 : 0};
    case ParamType::Double:
    case ParamType::DoubleRef:
        if (!value.is_number()) throw ParamError(position, expected);
        return value.get<double>();
    case ParamType::String:
    case ParamType::StringRef: {
        if (value.is_null()) return std::string();
        if (!value.is_string()) throw ParamError(position, expected);
        std::string bytes;
        if (!Utf8ToEightBit(value.get_ref<const std::string&>(), bytes)) {
            throw ParamError(position, "a character above U+00FF");
        }
        return bytes;
    }
    }
    throw ParamError(position, expected);
}

AutomationValue DefaultValue(ParamType type) {
    if (type == ParamType::DoubleRef) return 0.0;
    if (type == ParamType::StringRef) return std::string();
    return int32_t{0};
}

std::vector<AutomationValue> Arguments(const AutomationMethod& method, const json& params) {
    if (!params.is_array()) throw RpcError{kInvalidParams, "parameters go by position, as an array"};
    if (params.size() > method.params.size()) {
        throw RpcError{kInvalidParams, std::string(method.name) + " takes " + std::to_string(method.params.size()) +
                                           " parameters, not " + std::to_string(params.size())};
    }
    std::vector<AutomationValue> values;
    for (size_t index = 0; index < method.params.size(); ++index) {
        const ParamType type = method.params[index];
        if (index < params.size()) {
            values.push_back(ToValue(params[index], type, index + 1));
        } else if (IsByReference(type)) {
            values.push_back(DefaultValue(type));
        } else {
            throw ParamError(index + 1, std::string("missing ") + ParamTypeName(type));
        }
    }
    return values;
}

json OutValue(const AutomationValue& value, ParamType type) {
    switch (type) {
    case ParamType::BoolRef: return std::get<int32_t>(value) != 0;
    case ParamType::DoubleRef: return std::get<double>(value);
    case ParamType::StringRef: return EightBitToUtf8(std::get<std::string>(value));
    default: return std::get<int32_t>(value);
    }
}

json ReturnValue(const AutomationResult& result, ReturnType type) {
    if (type == ReturnType::String) {
        const auto& text = std::get<std::optional<std::string>>(result);
        return text ? json(EightBitToUtf8(*text)) : json(nullptr);
    }
    const int32_t number = std::get<int32_t>(result);
    return type == ReturnType::Bool ? json(number != 0) : json(number);
}

json MethodList() {
    json list = json::array();
    for (const AutomationMethod& method : AutomationMethods()) {
        json params = json::array();
        for (const ParamType type : method.params) params.push_back(ParamTypeName(type));
        list.push_back({{"dispid", DispIdOf(method)},
                        {"name", method.name},
                        {"params", params},
                        {"returns", ReturnTypeName(method.returns)},
                        {"names", method.paramNames},
                        {"summary", method.summary}});
    }
    return list;
}

std::string Dump(const json& reply) { return reply.dump(-1, ' ', false, json::error_handler_t::replace); }

// The list never changes, and a batch may ask for it a thousand times: its text is made once.
const std::string& MethodListText() {
    static const std::string text = Dump(MethodList());
    return text;
}

std::string UnknownMethodText(const std::string& name) {
    std::vector<std::string_view> names;
    for (const AutomationMethod& method : AutomationMethods()) names.push_back(method.name);
    return UnknownNameText(name, NearestNames(name, names));
}

// Where a call's reply and the server's diagnostics go.
struct CallContext {
    CTESTBAYDoc& document;
    std::ostream* diagnostics;
};

// The result of one call as JSON text. A failed entry into the hardware test
// carries its reason beside the usual members, and is told on the diagnostics.
std::string Call(const CallContext& context, const std::string& name, const json& params) {
    if (name == "$methods") return MethodListText();
    const AutomationMethod* method = FindAutomationMethod(name);
    if (!method) throw RpcError{kMethodNotFound, UnknownMethodText(name)};
    CTESTBAYDoc& document = context.document;
    CallArgs args(Arguments(*method, params));
    AutomationResult result;
    try {
        result = method->call(document, args);
    } catch (const AutomationParamError& error) {
        throw ParamError(error.position, error.message);
    } catch (const CComExeption& error) {
        throw RpcError{kSerialError, error.Message()};
    }
    json out = json::array();
    for (size_t index = 0; index < method->params.size(); ++index) {
        if (IsByReference(method->params[index])) out.push_back(OutValue(args.Values()[index], method->params[index]));
    }
    json reply{{"return", ReturnValue(result, method->returns)}, {"out", out}};
    if (const std::optional<std::string> reason = document.TakeEntryFailure()) {
        reply["reason"] = EightBitToUtf8(*reason);
        if (context.diagnostics) *context.diagnostics << "testbay: " << method->name << ": " << *reason << std::endl;
    }
    return Dump(reply);
}

bool IsValidId(const json& id) { return id.is_null() || id.is_string() || id.is_number(); }

// A request object of JSON-RPC 2.0; parameters, when given, are an array or an object.
bool IsRequest(const json& request) {
    if (!request.is_object()) return false;
    const auto version = request.find("jsonrpc");
    if (version == request.end() || *version != "2.0") return false;
    const auto method = request.find("method");
    if (method == request.end() || !method->is_string()) return false;
    const auto params = request.find("params");
    if (params != request.end() && !params->is_array() && !params->is_object()) return false;
    return !request.contains("id") || IsValidId(request["id"]);
}

// Members in the order the library writes an object's: by name.
std::string ResultReply(const json& id, const std::string& result) {
    return "{\"id\":" + Dump(id) + ",\"jsonrpc\":\"2.0\",\"result\":" + result + "}";
}

std::optional<std::string> HandleRequest(const CallContext& context, const json& request) {
    if (!IsRequest(request)) {
        // The id is echoed when it can be read; an invalid request is answered even without one.
        const bool idReadable = request.is_object() && request.contains("id") && IsValidId(request["id"]);
        return Dump(ErrorReply(idReadable ? request["id"] : json(nullptr), kInvalidRequest, "Invalid Request"));
    }
    const json id = request.value("id", json(nullptr));
    const json noParams = json::array();
    const auto params = request.find("params");
    std::string reply;
    try {
        reply = ResultReply(
            id, Call(context, request["method"].get<std::string>(), params != request.end() ? *params : noParams));
    } catch (const RpcError& error) {
        reply = Dump(ErrorReply(id, error.code, error.message));
    } catch (const std::exception& error) {
        reply = Dump(ErrorReply(id, kInternalError, error.what()));
    }
    // A notification is carried out but not answered.
    if (!request.contains("id")) return std::nullopt;
    return reply;
}

// Walks a line without building it and stops at the first bound it passes, so
// that neither the tree of a line nor its replies can outgrow the process.
class LineBounds final : public json::json_sax_t {
public:
    // Why the line must not be built, if it must not.
    std::optional<RpcError> Refusal(const std::string& line) {
        // A NUL ends the parser's input early; it never belongs to a JSON text.
        if (line.find('\0') != std::string::npos) return RpcError{kParseError, "Parse error"};
        if (!json::sax_parse(line, this) && !refusal_) return RpcError{kParseError, "Parse error"};
        return refusal_;
    }

    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(json::number_integer_t) override { return Value(); }
    bool number_unsigned(json::number_unsigned_t) override { return Value(); }
    bool number_float(json::number_float_t, const json::string_t&) override { return Value(); }
    bool string(json::string_t&) override { return Value(); }
    bool binary(json::binary_t&) override { return Value(); }
    bool key(json::string_t&) override { return Count(); }
    bool start_object(size_t) override { return Open(false); }
    bool end_object() override { return Close(); }
    bool start_array(size_t) override { return Open(true); }
    bool end_array() override { return Close(); }
    bool parse_error(size_t, const std::string&, const json::exception&) override { return false; }

private:
    bool Refuse(const std::string& why) {
        refusal_ = RpcError{kInvalidRequest, "Invalid Request: " + why};
        return false;
    }
    bool Count() {
        if (++values_ > AutomationServer::kMaxValuesPerLine) {
            return Refuse("more than " + std::to_string(AutomationServer::kMaxValuesPerLine) + " values on one line");
        }
        return true;
    }
    // Every value directly inside a top-level array is one request of a batch.
    bool Value() {
        if (depth_ == 1 && batch_ && ++requests_ > AutomationServer::kMaxBatchRequests) {
            return Refuse("a batch holds at most " + std::to_string(AutomationServer::kMaxBatchRequests) + " requests");
        }
        return Count();
    }
    bool Open(bool array) {
        if (depth_ == 0) batch_ = array;
        if (!Value()) return false;
        if (++depth_ > AutomationServer::kMaxNesting) {
            return Refuse("nested deeper than " + std::to_string(AutomationServer::kMaxNesting) + " levels");
        }
        return true;
    }
    bool Close() {
        --depth_;
        return true;
    }

    int depth_ = 0;
    bool batch_ = false;
    size_t values_ = 0;
    size_t requests_ = 0;
    std::optional<RpcError> refusal_;
};

}  // namespace

std::string EightBitToUtf8(const std::string& bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<uint8_t>(byte);
        if (code < 0x80) {
            utf8.push_back(static_cast<char>(code));
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return utf8;
}

bool Utf8ToEightBit(const std::string& utf8, std::string& bytes) {
    bytes.clear();
    bytes.reserve(utf8.size());
    for (size_t index = 0; index < utf8.size(); ++index) {
        const auto lead = static_cast<uint8_t>(utf8[index]);
        if (lead < 0x80) {
            bytes.push_back(static_cast<char>(lead));
            continue;
        }
        if ((lead == 0xC2 || lead == 0xC3) && index + 1 < utf8.size() &&
            (static_cast<uint8_t>(utf8[index + 1]) & 0xC0) == 0x80) {
            bytes.push_back(static_cast<char>(((lead & 0x03) << 6) | (static_cast<uint8_t>(utf8[index + 1]) & 0x3F)));
            ++index;
            continue;
        }
        return false;
    }
    return true;
}

std::optional<std::string> AutomationServer::HandleLine(const std::string& line) {
    if (const std::optional<RpcError> refusal = LineBounds().Refusal(line)) {
        return Dump(ErrorReply(nullptr, refusal->code, refusal->message));
    }
    const json message = json::parse(line, nullptr, false);
    if (message.is_discarded()) return Dump(ErrorReply(nullptr, kParseError, "Parse error"));
    const CallContext context{document_, diagnostics_};
    if (!message.is_array()) return HandleRequest(context, message);
    if (message.empty()) return Dump(ErrorReply(nullptr, kInvalidRequest, "Invalid Request"));
    // Each reply is written out at once: the text is far smaller than its tree.
    std::string replies;
    for (const json& request : message) {
        if (const std::optional<std::string> reply = HandleRequest(context, request)) {
            replies += replies.empty() ? '[' : ',';
            replies += *reply;
        }
    }
    // A batch of notifications only is not answered at all.
    if (replies.empty()) return std::nullopt;
    return replies + ']';
}

void RunAutomationServer(const InputRead& read, std::ostream& output, std::ostream& diagnostics) {
    AutomationServer server(&diagnostics);
    RequestLines lines(read, AutomationServer::kMaxLineLength);
    // A stop ends the running call: it fails with CallStopped's text.
    StopEndsCalls stopEndsCalls;
    std::string line;
    for (;;) {
        const RequestLines::Read kind = lines.Next(line);
        if (kind == RequestLines::Read::End) break;
        std::optional<std::string> reply;
        if (kind == RequestLines::Read::TooLong) {
            reply = Dump(ErrorReply(nullptr, kParseError, "Parse error: line too long"));
        } else if (line.find_first_not_of(" \t\r") != std::string::npos) {
            reply = server.HandleLine(line);
        }
        if (reply) output << *reply << '\n' << std::flush;
    }
}

}  // namespace testbay
