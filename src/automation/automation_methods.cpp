#include "automation/automation_methods.h"

#include <strings.h>

#include <algorithm>

#include "hwt/client_guard.h"
#include "settings/version.h"

namespace testbay {
namespace {

using enum ParamType;
constexpr ReturnType kBool = ReturnType::Bool;
constexpr ReturnType kLong = ReturnType::Long;
constexpr ReturnType kString = ReturnType::String;

// Runs a client operation on the current client; FALSE without one.
template <class Operation>
AutomationResult OnClient(Operation operation) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    return client ? int32_t{operation(*client)} : int32_t{0};
}

// A client operation that fills a text: the text on success, else the null string.
template <class Operation>
AutomationResult TextOnClient(Operation operation) {
    const ClientUse use;
    CHwtV4Client* client = use.Client();
    if (!client) return std::optional<std::string>();
    std::string text;
    if (operation(*client, text) != 1) return std::optional<std::string>();
    return std::optional<std::string>(text);
}

// The client's text copied into the caller's string in place; `onSuccessOnly`
// leaves the string alone when the operation failed.
template <class Operation>
AutomationResult TextOutOnClient(std::string& target, bool onSuccessOnly, Operation operation) {
    return OnClient([&](CHwtV4Client& client) {
        std::string text;
        const int status = operation(client, text);
        if (status == 1 || !onSuccessOnly) CopyInPlace(target, text);
        return status;
    });
}

// Raw bytes of a client buffer copied into the caller's string in place.
void CopyBytesInPlace(std::string& target, const std::vector<uint8_t>& bytes, size_t count) {
    CopyInPlace(target, std::string(bytes.begin(), bytes.begin() + static_cast<long>(std::min(count, bytes.size()))),
                false);
}

uint32_t Unsigned(int32_t value) { return static_cast<uint32_t>(value); }

// The text of a string argument up to its first zero byte.
std::string CText(const std::string& text) { return text.substr(0, text.find('\0')); }

#define ON_CLIENT(...)                                                                      \
    []([[maybe_unused]] CTESTBAYDoc& d, [[maybe_unused]] CallArgs& a) -> AutomationResult { \
        return OnClient([&](CHwtV4Client& c) { return __VA_ARGS__; });                      \
    }
#define ON_DOCUMENT(...) \
    []([[maybe_unused]] CTESTBAYDoc& d, [[maybe_unused]] CallArgs& a) -> AutomationResult { return __VA_ARGS__; }
#define NO_CLIENT(value) [](CTESTBAYDoc&, CallArgs&) -> AutomationResult { return int32_t{value}; }

AutomationResult ReadMemory(CallArgs& a) {
    const size_t length = RequestLength(a.Long(2), kHwtMaxAnswerBlock, 3);
    return OnClient([&](CHwtV4Client& c) {
        std::vector<uint8_t> buffer;
        const int status = c.ReadMemory(a.Long(0), Unsigned(a.Long(1)), static_cast<uint32_t>(length), buffer);
        CopyBytesInPlace(a.StringRef(3), buffer, length);
        return status;
    });
}

template <int (CHwtV4Client::*Hdlc)(int32_t, int32_t&, int32_t&, std::vector<uint8_t>&)>
AutomationResult HdlcWithOneField(CallArgs& a) {
    return OnClient([&](CHwtV4Client& c) {
        std::vector<uint8_t> buffer;
        const int status = (c.*Hdlc)(a.Long(0), a.LongRef(1), a.LongRef(2), buffer);
        CopyBytesInPlace(a.StringRef(3), buffer, static_cast<size_t>(std::max(a.LongRef(2), 0)));
        return status;
    });
}

AutomationResult WsTest(CallArgs& a, bool timed) {
    return OnClient([&](CHwtV4Client& c) {
        std::string text;
        const size_t textAt = timed ? 4 : 2;
        const int status = c.WsTest(a.Long(0), timed ? 1 : 0, &a.LongRef(1), timed ? &a.LongRef(2) : nullptr,
                                    timed ? &a.LongRef(3) : nullptr, &text, &a.LongRef(textAt + 1));
        if (status == 1) CopyInPlace(a.StringRef(textAt), text);
        return status;
    });
}

AutomationResult Nk300SerialNumber(CallArgs& a) {
    const ClientUse use;
    if (CHwtV4Client* client = use.Client()) {
        std::string text;
        client->Nk300GetSerialNumber(a.Long(0), text, 256);
        text.resize(256, '\0');
        CopyInPlace(a.StringRef(1), text, false);
    }
    return int32_t{1};
}

AutomationResult Nk300MacAddress(CallArgs& a) {
    const ClientUse use;
    if (CHwtV4Client* client = use.Client()) {
        std::string text;
        client->Nk300GetMacAdr(a.Long(0), text);
        CopyInPlace(a.StringRef(1), text, false);
    }
    return int32_t{1};
}

std::vector<AutomationMethod> MakeMethods() {
    return {
        {"EnterHardwaretest", {String}, kBool, ON_DOCUMENT(d.EnterHardwaretest())},
        {"ExitHardwaretest", {}, kBool, ON_DOCUMENT(d.ExitHardwaretest())},
        {"SetLevel", {String}, kBool, ON_CLIENT(c.SetLevel(a.String(0)))},
        {"GetLedCount", {LongRef}, kBool, ON_CLIENT(c.GetLedCount(a.LongRef(0)))},
        {"GetBinaryInputCount", {LongRef}, kBool, ON_CLIENT(c.GetBinaryInputCount(a.LongRef(0)))},
        {"GetRelayCount", {LongRef}, kBool, ON_CLIENT(c.GetRelayCount(a.LongRef(0)))},
        {"SetLeds", {Long}, kBool, ON_CLIENT(c.SetLeds(a.Long(0)))},
        {"SetLed", {Long, Bool}, kBool, ON_CLIENT(c.SetLed(a.Long(0), a.Bool(1)))},
        {"SetRelay", {Long, Bool}, kBool, ON_CLIENT(c.SetRelay(a.Long(0), a.Bool(1)))},
        {"GetLed", {Long, BoolRef}, kBool, ON_CLIENT(c.GetLed(a.Long(0), a.LongRef(1)))},
        {"GetBinaryInput", {Long, BoolRef}, kBool, ON_CLIENT(c.GetBinaryInput(a.Long(0), a.LongRef(1)))},
        {"GetRelay", {Long, BoolRef}, kBool, ON_CLIENT(c.GetRelay(a.Long(0), a.LongRef(1)))},
        {"SetGok", {Bool}, kBool, ON_CLIENT(c.SetGok(a.Bool(0)))},
        {"GetRelaySpeed", {Long, Long, LongRef}, kBool, ON_CLIENT([&] {
             int32_t first = a.Long(0), second = a.Long(1);
             return c.GetRelaySpeed(first, second, a.LongRef(2));
         }())},
        {"SetDisplay", {Long}, kBool, ON_CLIENT(c.SetDisplay(a.Long(0)))},
        {"EnterKeyboardtest", {}, kBool, ON_CLIENT(c.EnterKeyboardtest())},
        {"ExitKeyboardtest", {}, kBool, ON_CLIENT(c.ExitKeyboardtest())},
        {"GetKeyPressed", {BoolRef, LongRef}, kBool, ON_CLIENT(c.GetKeyPressed(a.LongRef(0), a.LongRef(1)))},
        {"GetMemoryCount", {LongRef}, kBool, ON_CLIENT(c.GetMemoryCount(a.LongRef(0)))},
        {"GetMemoryInfo", {Long, LongRef, LongRef, LongRef, LongRef, BoolRef, BoolRef}, kBool,
         ON_CLIENT(c.GetMemoryInfo(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5),
                                   a.LongRef(6)))},
        {"TestMemory", {Long, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.TestMemory(a.Long(0), Unsigned(a.Long(1)), Unsigned(a.Long(2)), a.LongRef(3)))},
        {"EraseMemory", {Long, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.EraseMemory(a.Long(0), Unsigned(a.Long(1)), Unsigned(a.Long(2)), a.LongRef(3)))},
        {"ReadMemory", {Long, Long, Long, StringRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return ReadMemory(a); }},
        {"WriteMemory", {Long, Long, Long, StringRef}, kBool,
         ON_CLIENT(c.WriteMemory(a.Long(0), Unsigned(a.Long(1)), LeadingBytes(a.StringRef(3), a.Long(2), 3)))},
        {"GetSupplyCount", {LongRef}, kBool, ON_CLIENT(c.GetSupplyCount(a.LongRef(0)))},
        {"GetSupplyValue", {Long, StringRef, LongRef, LongRef, LongRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(1), true, [&](CHwtV4Client& c, std::string& name) {
                 return c.GetSupplyValue(a.Long(0), name, a.LongRef(2), a.LongRef(3), a.LongRef(4));
             });
         }},
        {"TestSupplies", {BoolRef}, kBool, ON_CLIENT(c.TestSupplies(a.LongRef(0)))},
        {"GetCurrent", {Long, DoubleRef}, kBool, ON_CLIENT(c.GetCurrent(a.Long(0), a.DoubleRef(1)))},
        {"GetVoltage", {Long, DoubleRef}, kBool, ON_CLIENT(c.GetVoltage(a.Long(0), a.DoubleRef(1)))},
        {"GetChannelCount", {LongRef}, kBool, ON_CLIENT(c.GetChannelcount(a.LongRef(0)))},
        {"GetChannelValue", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetChannelValue(a.Long(0), a.LongRef(1), a.LongRef(2)))},
        {"Freeze", {}, kBool, ON_CLIENT(c.Freeze())},
        {"Adc", {Long, Long, LongRef}, kBool, ON_CLIENT(c.Adc(a.Long(0), a.Long(1), 0, a.LongRef(2)))},
        {"GetCurrentAmplify", {Long, Long, LongRef}, kBool,
         ON_CLIENT(c.GetCurrentAmplify(a.Long(0), a.Long(1), a.LongRef(2)))},
        {"SetCurrentAmplify", {Long, Long}, kBool, ON_CLIENT(c.SetCurrentAmplify(a.Long(0), a.Long(1)))},
        {"GetCurrentAmplifyCount", {Long, LongRef}, kBool,
         ON_CLIENT(c.GetChannelAmplifyCount(a.Long(0), a.LongRef(1)))},
        {"GetSerialPortCount", {LongRef}, kBool, ON_CLIENT(c.GetSerialPortCount(a.LongRef(0)))},
        {"GetSerialPortID", {Long, LongRef}, kBool, ON_CLIENT(c.GetSerialPortID(a.Long(0), a.LongRef(1)))},
        {"SetBaudrate", {Long, Long}, kBool, ON_CLIENT(c.SetBaudrate(a.Long(0), Unsigned(a.Long(1))))},
        {"TestSerialPort", {Long, BoolRef}, kBool, ON_CLIENT(c.TestSerialPortEx(a.Long(0), a.LongRef(1)))},
        {"Send", {Long, StringRef, Long}, kBool,
         ON_CLIENT(c.Send(a.Long(0), LeadingBytes(a.StringRef(1), a.Long(2), 3)))},
        {"Receive", {Long, StringRef, Long}, kBool, NO_CLIENT(1)},
        {"GetDate", {LongRef, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetDate(a.LongRef(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5)))},
        {"SetDate", {Long, Long, Long, Long, Long, Long}, kBool,
         ON_CLIENT(c.SetDate(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.Long(4), a.Long(5)))},
        {"SetDisplayLight", {Bool}, kBool, ON_CLIENT(c.SetDisplayLight(a.Bool(0)))},
        {"SetDisplayContrast", {Long}, kBool, ON_CLIENT(c.SetDisplayContrast(a.Long(0)))},
        {"StoreCalibrationValues", {}, kBool, ON_CLIENT(c.StoreCalibrationValues())},
        {"GetChannelInfo", {Long, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetChannelInfo(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), nullptr, nullptr))},
        {"Reset", {Long}, kBool, ON_CLIENT(c.Reset(a.Long(0)))},
        {"GetWatchdogTime", {LongRef}, kBool, ON_CLIENT(c.GetWatchdogTime(a.LongRef(0), 1))},
        {"SetFrequency", {Double}, kBool, ON_CLIENT(c.SetFrequency(a.Double(0)))},
        {"IsActiv", {}, kBool,
         [](CTESTBAYDoc&, CallArgs&) -> AutomationResult { return int32_t{CurrentHwtClient() != nullptr}; }},
        {"GetBusInfo", {Long, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetBusInfo(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4)))},
        {"GetBusStatistics", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetBusStatistics(a.Long(0), a.LongRef(1), a.LongRef(2)))},
        {"GetTransducerCount", {LongRef}, kBool, ON_CLIENT(c.GetTransducerCount(a.LongRef(0)))},
        {"GetTransducerValue", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetTransducerValue(a.Long(0), a.LongRef(1), a.LongRef(2)))},
        {"SetCalibrationValue", {Long, Long, Long, Double, Double}, kBool,
         ON_CLIENT(c.SetCalibrationValue(a.Long(0), a.Long(1), a.Long(2), a.Double(3), a.Double(4)))},
        {"GetCalibrationValue", {Long, Long, Long, DoubleRef, DoubleRef}, kBool,
         ON_CLIENT(c.GetCalibrationValue(a.Long(0), a.Long(1), a.Long(2), a.DoubleRef(3), a.DoubleRef(4)))},
        {"GetPhaseDifference", {Long, Long, DoubleRef}, kBool,
         ON_CLIENT(c.GetPhaseDifference(a.Long(0), a.Long(1), a.DoubleRef(2)))},
        {"DisplayServerWindow", {Bool}, kBool, NO_CLIENT(1)},
        {"SetRelayMask", {Long, Long}, kBool, ON_CLIENT(c.SetRelayMask(a.Long(0), a.Long(1)))},
        {"GetBinaryInputMask", {LongRef, LongRef}, kBool, ON_CLIENT(c.GetBinaryInputMask(a.LongRef(0), a.LongRef(1)))},
        {"GetSerialNumber", {StringRef}, kBool, ON_CLIENT([&] {
             std::string text;
             const int status = c.GetSerialNumber(text);
             if (status == 1) a.StringRef(0) = text;
             return status;
         }())},
        {"TestBattery", {BoolRef}, kBool, ON_CLIENT(c.TestBattery(a.LongRef(0)))},
        {"GetMlfb", {StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(0), true, [](CHwtV4Client& c, std::string& t) { return c.GetMLFB(t); });
         }},
        {"GetMlfbString", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) { return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetMLFB(t); }); }},
        {"GetSerialNumberString", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) {
             return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetSerialNumber(t); });
         }},
        {"GetTimeCode", {LongRef, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool, ON_CLIENT([&] {
             int32_t status = 0;
             return c.GetTimeCode(a.LongRef(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5),
                                  status);
         }())},
        {"SetTimeCodeFormat", {Long}, kBool, ON_CLIENT(c.SetTimeCodeFormat(a.Long(0)))},
        {"GetTimeCodeSignal", {LongRef}, kBool, ON_CLIENT(c.GetTimeCodeSignal(a.LongRef(0)))},
        {"GetKeyswitch", {Long, LongRef}, kBool, ON_CLIENT(c.GetKeyswitch(a.Long(0), a.LongRef(1)))},
        {"GetHWVersion", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) {
             return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetHWVersion(t); });
         }},
        {"GetCpu", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) { return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetCPU(t); }); }},
        {"GetAmpl", {Long, Double, LongRef}, kBool, ON_CLIENT(c.GetAmpl(a.Long(0), a.Double(1), a.LongRef(2)))},
        {"SetMLFB", {String}, kBool, ON_CLIENT(c.SetMLFB(a.String(0)))},
        {"SetSerialNumber", {String}, kBool, ON_CLIENT(c.SetSrialNumber(a.String(0)))},
        {"GetErrorCount", {LongRef}, kBool, ON_CLIENT(c.GetErrorCount(a.LongRef(0)))},
        {"GetError", {Long, StringRef, LongRef, LongRef, StringRef, StringRef}, kBool, ON_CLIENT([&] {
             std::string text0, text4, text1;
             const int status = c.GetError(a.Long(0), text0, a.LongRef(2), a.LongRef(3), text4, text1);
             CopyInPlace(a.StringRef(1), text0);
             CopyInPlace(a.StringRef(4), text4);
             CopyInPlace(a.StringRef(5), text1);
             return status;
         }())},
        {"GetVersion", {Long, StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(1), false,
                                    [&](CHwtV4Client& c, std::string& t) { return c.GetVersion(a.Long(0), t); });
         }},
        {"GetVersionString", {Long}, kString,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOnClient([&](CHwtV4Client& c, std::string& t) { return c.GetVersion(a.Long(0), t); });
         }},
        {"HdlcStart", {}, kBool, ON_CLIENT(c.HdlcStart())},
        {"HdlcFreeze", {}, kBool, ON_CLIENT(c.HdlcFreeze())},
        {"GetHdlcStatus", {LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetHdlcStatus(a.LongRef(0), a.LongRef(1), a.LongRef(2)))},
        {"HdlcRead", {Long, Long, LongRef, LongRef, StringRef}, kBool, ON_CLIENT([&] {
             std::vector<uint8_t> buffer;
             const int status = c.HdlcRead(a.Long(0), a.Long(1), a.LongRef(2), a.LongRef(3), buffer);
             CopyBytesInPlace(a.StringRef(4), buffer, static_cast<size_t>(std::max(a.LongRef(3), 0)));
             return status;
         }())},
        {"HdlcDecode", {Long, Long, LongRef, StringRef}, kBool, ON_CLIENT([&] {
             std::vector<uint8_t> buffer;
             const int status = c.HdlcDecode(a.Long(0), a.Long(1), a.LongRef(2), buffer);
             CopyBytesInPlace(a.StringRef(3), buffer, static_cast<size_t>(std::max(a.LongRef(2), 0)));
             return status;
         }())},
        {"HdlcBin", {Long, Long}, kBool, ON_CLIENT(c.HdlcBin(a.Long(0), a.Long(1)))},
        {"HdlcTrigger", {Long, Long}, kBool, ON_CLIENT(c.HdlcTrigger(a.Long(0), a.Long(1)))},
        {"SetHdlcParam", {Long, Long, Long, LongRef}, kBool,
         ON_CLIENT(c.SetHdlcParam(a.Long(0), a.Long(1), a.Long(2), a.LongRef(3)))},
        {"HdlcDecodeAlt", {Long, LongRef, LongRef, StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) { return HdlcWithOneField<&CHwtV4Client::HdlcDecodeAlt>(a); }},
        {"HdlcReadAlt", {Long, LongRef, LongRef, StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) { return HdlcWithOneField<&CHwtV4Client::HdlcReadAlt>(a); }},
        {"SetHdlcParamAlt", {Long, Long, LongRef}, kBool, ON_CLIENT(c.SetHdlcParamAlt(a.Long(0), a.Long(1), a.LongRef(2)))},
        {"SetModulePara", {Long, StringRef}, kBool, ON_CLIENT(c.SetSerialPortParameter(a.Long(0), CText(a.StringRef(1))))},
        {"GetSerialPort", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetSerialPort(a.Long(0), a.LongRef(1), a.LongRef(2)))},
        {"GetAnalogOutputProperties", {Long, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetAnalogOutputProperties(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3)))},
        {"GetAnalogOutput", {Long, Long, LongRef}, kBool,
         ON_CLIENT(c.GetAnalogOutput(a.Long(0), a.Long(1), a.LongRef(2)))},
        {"SetAnalogOutput", {Long, Long, Long}, kBool, ON_CLIENT(c.SetAnalogOutput(a.Long(0), a.Long(1), a.Long(2)))},
        {"GetDprInfo", {Long, StringRef}, kBool, ON_CLIENT([&] {
             std::vector<uint8_t> buffer;
             const int status = c.GetDprInfo(a.Long(0), buffer, 16);
             buffer.resize(16, 0);
             CopyBytesInPlace(a.StringRef(1), buffer, 16);
             return status;
         }())},
        {"GetOffset", {Long, LongRef}, kBool, ON_CLIENT(c.GetOffset(a.Long(0), a.LongRef(1)))},
        {"SetOffset", {Long, Long}, kBool, ON_CLIENT(c.SetOffset(a.Long(0), a.Long(1)))},
        {"AdjustAllOffsets", {}, kBool, ON_CLIENT(c.SetOffset())},
        {"CalculateOffset", {Long, LongRef}, kBool, ON_CLIENT(c.CalculateOffset(a.Long(0), a.LongRef(1)))},
        {"WsInit", {Long, Long}, kBool, ON_CLIENT(c.WsInit(a.Long(0), a.Long(1)))},
        {"WsPara", {Long, Long, Long}, kBool, ON_CLIENT(c.WsPara(a.Long(0), a.Long(1), a.Long(2)))},
        {"WsTest", {Long, BoolRef, StringRef, LongRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return WsTest(a, false); }},
        {"WsTestTime", {Long, BoolRef, LongRef, LongRef, StringRef, LongRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) { return WsTest(a, true); }},
        {"EnterHardwaretestAtPort", {String, Long}, kBool, ON_DOCUMENT(d.EnterHardwaretestAtPort(a.Long(1)))},
        {"ReadByte", {Long, Long}, kLong, ON_DOCUMENT(d.ReadByte(a.Long(0), Unsigned(a.Long(1))))},
        {"WriteByte", {Long, Long, Long}, kBool, ON_DOCUMENT(d.WriteByte(a.Long(0), Unsigned(a.Long(1)), a.Long(2)))},
        {"ThbInit", {Long}, kBool, ON_CLIENT(c.ThbInit(a.Long(0)))},
        {"ThbTemp", {Long, LongRef, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_DOCUMENT(d.ThbTemp(a.Long(0), {&a.LongRef(1), &a.LongRef(2), &a.LongRef(3), &a.LongRef(4), &a.LongRef(5),
                                           &a.LongRef(6)}))},
        {"SetCpuId", {Long, Long, Long, String}, kBool,
         ON_CLIENT(c.SetCpuId(a.Long(0) & 0xFF, a.Long(1) & 0xFF, a.Long(2) & 0xFF, "0000000000"))},
        {"SetAduMode", {Long}, kBool, ON_CLIENT(c.SetAduMode(a.Long(0)))},
        {"SetAduModeAndFrequency", {Long, Double}, kBool, ON_CLIENT(c.SetAduMode(a.Long(0), a.Double(1)))},
        {"ResetMinmaxValues", {}, kBool, ON_CLIENT(c.ResetMinmaxValues())},
        {"GetMinmaxValues", {Long, Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetMinmaxValues(a.Long(0), a.Long(1), a.LongRef(2), a.LongRef(3)))},
        {"GetMinmaxValuesPP", {Long, Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetMinmaxValuesPP(a.Long(0), a.Long(1), a.LongRef(2), a.LongRef(3)))},
        {"Sleep", {Long}, kBool, ON_DOCUMENT(d.Sleep(a.Long(0)))},
        {"GetChannelName", {Long}, kString, ON_DOCUMENT(d.GetChannelName(a.Long(0)))},
        {"GetAverageChannelValue", {Long, LongRef, LongRef}, kBool,
         ON_DOCUMENT(d.GetAverageChannelValue(a.Long(0), a.LongRef(1), a.LongRef(2)))},
        {"SetCalSid", {Long, Long}, kBool, ON_CLIENT(c.SetCalSid(a.Long(0), a.Long(1)))},
        {"SetCalDefaults", {}, kBool, ON_CLIENT(c.SetCalDefaults())},
        {"SetCalRef", {Long, String, Long}, kBool, ON_CLIENT(c.SetCalRef(a.Long(0), a.String(1), a.Long(2)))},
        {"GetCalPara", {Long, LongRef, StringRef, LongRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(2), false, [&](CHwtV4Client& c, std::string& t) {
                 return c.GetCalPara(a.Long(0), a.LongRef(1), t, a.LongRef(3));
             });
         }},
        {"GetAveragePhaseDifference", {Long, Long, DoubleRef}, kBool,
         ON_DOCUMENT(d.GetAveragePhaseDifference(a.Long(0), a.Long(1), a.DoubleRef(2)))},
        {"AdcEx", {Long, Long, Long, LongRef}, kBool, ON_CLIENT(c.Adc(a.Long(0), a.Long(1), a.Long(2), a.LongRef(3)))},
        {"GetBusBits", {LongRef, LongRef}, kBool, ON_CLIENT(c.GetBusBits(a.LongRef(0), a.LongRef(1)))},
        {"SetSabPara", {Long, Long, Long, Long, Long}, kBool,
         ON_CLIENT(c.SabPara(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.Long(4)))},
        {"GetSabStatus", {Long, LongRef}, kBool, ON_DOCUMENT(d.GetSabStatus(a.Long(0), a.LongRef(1)))},
        {"CalculateOffsetEx", {Long}, kLong, ON_DOCUMENT(d.CalculateOffsetEx(a.Long(0)))},
        {"GetTestbayVersion", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) -> AutomationResult { return std::optional<std::string>(kTestbayVersion); }},
        {"GetModuleInfo", {Long, LongRef}, kBool, ON_CLIENT(c.GetModuleInfo(a.Long(0), a.LongRef(1)))},
        {"ModuleReset", {Long}, kBool, ON_CLIENT(c.ModuleReset(a.Long(0)))},
        {"TestSerialPortEx", {Long, BoolRef}, kBool, ON_CLIENT(c.TestSerialPort(a.Long(0), a.LongRef(1)))},
        {"TestSerialPortEx1", {Long, Long, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.TestSerialPortEx1(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.LongRef(4)))},
        {"TestSerialPortEx2", {Long, Long, String, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.TestSerialPortEx2(a.Long(0), a.Long(1), LeadingBytes(a.String(2), a.Long(3), 4), a.Long(4),
                                       a.LongRef(5)))},
        {"GetModul", {Long, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetModul(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5)))},
        {"Nk300GetSerialNumber", {Long, StringRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return Nk300SerialNumber(a); }},
        {"Nk300GetMacAdr", {Long, StringRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return Nk300MacAddress(a); }},
        {"Nk300GetMacAdrString", {Long}, kString,
         [](CTESTBAYDoc&, CallArgs& a) -> AutomationResult {
             const ClientUse use;
             CHwtV4Client* client = use.Client();
             if (!client) return std::optional<std::string>();
             std::string text;
             client->Nk300GetMacAdr(a.Long(0), text);
             return std::optional<std::string>(text);
         }},
        {"Nk300GetSerialNumberString", {Long}, kString,
         [](CTESTBAYDoc&, CallArgs& a) -> AutomationResult {
             const ClientUse use;
             CHwtV4Client* client = use.Client();
             if (!client) return std::optional<std::string>();
             std::string text;
             client->Nk300GetSerialNumber(a.Long(0), text, 256);
             return std::optional<std::string>(text);
         }},
        {"TestCommunicationModule", {Long, Long, LongRef}, kBool,
         ON_CLIENT(c.TestCommunicationModule(a.Long(0), a.Long(1), a.LongRef(2)))},
        {"GetCpuId", {LongRef, LongRef, LongRef, StringRef, LongRef}, kBool,
         ON_DOCUMENT(d.GetCpuId(a.LongRef(0), a.LongRef(1), a.LongRef(2), a.StringRef(3), a.LongRef(4)))},
        {"GetLastErrorText", {}, kString, ON_DOCUMENT(std::optional<std::string>(d.LastErrorText()))},
        {"LeaveHardwaretest", {}, kBool, ON_DOCUMENT(d.LeaveHardwaretest())},
    };
}

#undef ON_CLIENT
#undef ON_DOCUMENT
#undef NO_CLIENT

}  // namespace

const std::vector<AutomationMethod>& AutomationMethods() {
    static const std::vector<AutomationMethod> methods = MakeMethods();
    return methods;
}

const AutomationMethod* FindAutomationMethod(std::string_view name) {
    for (const AutomationMethod& method : AutomationMethods()) {
        if (name.size() == std::char_traits<char>::length(method.name) &&
            strncasecmp(method.name, name.data(), name.size()) == 0) {
            return &method;
        }
    }
    return nullptr;
}

int DispIdOf(const AutomationMethod& method) { return static_cast<int>(&method - AutomationMethods().data()) + 1; }

}  // namespace testbay
