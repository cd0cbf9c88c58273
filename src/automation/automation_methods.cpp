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
        {"EnterHardwaretest", {String}, kBool, ON_DOCUMENT(d.EnterHardwaretest()),
         {"text"},
         "Opens the port named by ComPort in Testbay.ini and brings the relay into the hardware test from whatever "
         "state it is in; the text is not used."},
        {"ExitHardwaretest", {}, kBool, ON_DOCUMENT(d.ExitHardwaretest()),
         {}, "Closes the relay's port and forgets its client; sends nothing, so the relay stays in the hardware test."},
        {"SetLevel", {String}, kBool, ON_CLIENT(c.SetLevel(a.String(0))),
         {"text"}, "Takes a level text and sends nothing (always true)."},
        {"GetLedCount", {LongRef}, kBool, ON_CLIENT(c.GetLedCount(a.LongRef(0))),
         {"count"}, "Reads the number of LEDs."},
        {"GetBinaryInputCount", {LongRef}, kBool, ON_CLIENT(c.GetBinaryInputCount(a.LongRef(0))),
         {"count"}, "Reads the number of binary inputs."},
        {"GetRelayCount", {LongRef}, kBool, ON_CLIENT(c.GetRelayCount(a.LongRef(0))),
         {"count"}, "Reads the number of output relays."},
        {"SetLeds", {Long}, kBool, ON_CLIENT(c.SetLeds(a.Long(0))),
         {"pattern"}, "Switches every LED: pattern 0 all off, 1 all on, 2 the odd ones on, 3 the even ones on."},
        {"SetLed", {Long, Bool}, kBool, ON_CLIENT(c.SetLed(a.Long(0), a.Bool(1))),
         {"led", "on"}, "Switches one LED (counted from 1) on or off."},
        {"SetRelay", {Long, Bool}, kBool, ON_CLIENT(c.SetRelay(a.Long(0), a.Bool(1))),
         {"relay", "on"}, "Picks up or drops out one output relay (counted from 1)."},
        {"GetLed", {Long, BoolRef}, kBool, ON_CLIENT(c.GetLed(a.Long(0), a.LongRef(1))),
         {"led", "on"}, "Reads whether one LED is lit."},
        {"GetBinaryInput", {Long, BoolRef}, kBool, ON_CLIENT(c.GetBinaryInput(a.Long(0), a.LongRef(1))),
         {"input", "on"}, "Reads whether one binary input sees its voltage."},
        {"GetRelay", {Long, BoolRef}, kBool, ON_CLIENT(c.GetRelay(a.Long(0), a.LongRef(1))),
         {"relay", "on"}, "Reads whether one output relay is picked up."},
        {"SetGok", {Bool}, kBool, ON_CLIENT(c.SetGok(a.Bool(0))), {"on"}, "Switches the GOK output."},
        {"GetRelaySpeed", {Long, Long, LongRef}, kBool, ON_CLIENT([&] {
             int32_t first = a.Long(0), second = a.Long(1);
             return c.GetRelaySpeed(first, second, a.LongRef(2));
         }()), {"a", "b", "c"}, "Not supported by the relay: returns false."},
        {"SetDisplay", {Long}, kBool, ON_CLIENT(c.SetDisplay(a.Long(0))),
         {"pattern"}, "Shows a test pattern on the display."},
        {"EnterKeyboardtest", {}, kBool, ON_CLIENT(c.EnterKeyboardtest()),
         {}, "Starts the keyboard test (no telegram)."},
        {"ExitKeyboardtest", {}, kBool, ON_CLIENT(c.ExitKeyboardtest()), {}, "Ends the keyboard test (no telegram)."},
        {"GetKeyPressed", {BoolRef, LongRef}, kBool, ON_CLIENT(c.GetKeyPressed(a.LongRef(0), a.LongRef(1))),
         {"pressed", "key"}, "Reads whether a key is pressed and, if so, which one."},
        {"GetMemoryCount", {LongRef}, kBool, ON_CLIENT(c.GetMemoryCount(a.LongRef(0))),
         {"count"}, "Reads the number of memory areas."},
        {"GetMemoryInfo", {Long, LongRef, LongRef, LongRef, LongRef, BoolRef, BoolRef}, kBool,
         ON_CLIENT(c.GetMemoryInfo(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5),
                                   a.LongRef(6))),
         {"index", "a", "b", "c", "attributes", "flag1", "flag2"},
         "Reads the description of one memory area (counted from 0): its three fields, its attributes and the two "
         "flags taken from them."},
        {"TestMemory", {Long, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.TestMemory(a.Long(0), Unsigned(a.Long(1)), Unsigned(a.Long(2)), a.LongRef(3))),
         {"index", "address", "length", "ok"},
         "Has the relay test length bytes of a memory area from address; ok is the relay's verdict."},
        {"EraseMemory", {Long, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.EraseMemory(a.Long(0), Unsigned(a.Long(1)), Unsigned(a.Long(2)), a.LongRef(3))),
         {"index", "address", "length", "ok"},
         "Has the relay erase length bytes of a memory area from address; ok is the relay's verdict."},
        {"ReadMemory", {Long, Long, Long, StringRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return ReadMemory(a); },
         {"index", "address", "length", "buffer"},
         "Reads length bytes of a memory area from address into buffer, one character per byte; buffer is the room, "
         "so pass a string of length characters."},
        {"WriteMemory", {Long, Long, Long, StringRef}, kBool,
         ON_CLIENT(c.WriteMemory(a.Long(0), Unsigned(a.Long(1)), LeadingBytes(a.StringRef(3), a.Long(2), 3))),
         {"index", "address", "length", "data"},
         "Writes the first length bytes of data (one character per byte) into a memory area from address."},
        {"GetSupplyCount", {LongRef}, kBool, ON_CLIENT(c.GetSupplyCount(a.LongRef(0))),
         {"count"}, "Reads the number of power supplies."},
        {"GetSupplyValue", {Long, StringRef, LongRef, LongRef, LongRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(1), true, [&](CHwtV4Client& c, std::string& name) {
                 return c.GetSupplyValue(a.Long(0), name, a.LongRef(2), a.LongRef(3), a.LongRef(4));
             });
         },
         {"supply", "name", "low", "high", "value"},
         "Reads one supply's name, limits and measured value; name is the room for the text."},
        {"TestSupplies", {BoolRef}, kBool, ON_CLIENT(c.TestSupplies(a.LongRef(0))),
         {"ok"}, "Checks every supply against its limits; ok is false when one lies outside."},
        {"GetCurrent", {Long, DoubleRef}, kBool, ON_CLIENT(c.GetCurrent(a.Long(0), a.DoubleRef(1))),
         {"channel", "value"}, "Reads the current of an analog channel, scaled."},
        {"GetVoltage", {Long, DoubleRef}, kBool, ON_CLIENT(c.GetVoltage(a.Long(0), a.DoubleRef(1))),
         {"channel", "value"}, "Reads the voltage of an analog channel, scaled."},
        {"GetChannelCount", {LongRef}, kBool, ON_CLIENT(c.GetChannelcount(a.LongRef(0))),
         {"count"}, "Reads the number of analog channels."},
        {"GetChannelValue", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetChannelValue(a.Long(0), a.LongRef(1), a.LongRef(2))),
         {"channel", "a", "b"}, "Reads the two raw fields of an analog channel."},
        {"Freeze", {}, kBool, ON_CLIENT(c.Freeze()), {}, "Freezes the analog values."},
        {"Adc", {Long, Long, LongRef}, kBool, ON_CLIENT(c.Adc(a.Long(0), a.Long(1), 0, a.LongRef(2))),
         {"a", "b", "value"}, "Reads a raw converter value."},
        {"GetCurrentAmplify", {Long, Long, LongRef}, kBool,
         ON_CLIENT(c.GetCurrentAmplify(a.Long(0), a.Long(1), a.LongRef(2))),
         {"channel", "n", "range"}, "Reads the n-th amplification range of a current channel."},
        {"SetCurrentAmplify", {Long, Long}, kBool, ON_CLIENT(c.SetCurrentAmplify(a.Long(0), a.Long(1))),
         {"channel", "range"}, "Sets the amplification range of a current channel."},
        {"GetCurrentAmplifyCount", {Long, LongRef}, kBool,
         ON_CLIENT(c.GetChannelAmplifyCount(a.Long(0), a.LongRef(1))),
         {"channel", "count"}, "Reads the number of amplification ranges of a current channel."},
        {"GetSerialPortCount", {LongRef}, kBool, ON_CLIENT(c.GetSerialPortCount(a.LongRef(0))),
         {"count"}, "Reads the number of the relay's own serial interfaces."},
        {"GetSerialPortID", {Long, LongRef}, kBool, ON_CLIENT(c.GetSerialPortID(a.Long(0), a.LongRef(1))),
         {"port", "id"}, "Reads the type identifier of one of the relay's serial interfaces."},
        {"SetBaudrate", {Long, Long}, kBool, ON_CLIENT(c.SetBaudrate(a.Long(0), Unsigned(a.Long(1)))),
         {"port", "baud"}, "Sets the baud rate of one of the relay's serial interfaces."},
        {"TestSerialPort", {Long, BoolRef}, kBool, ON_CLIENT(c.TestSerialPortEx(a.Long(0), a.LongRef(1))),
         {"port", "ok"}, "Runs the extended test of one of the relay's serial interfaces; ok is the relay's verdict."},
        {"Send", {Long, StringRef, Long}, kBool,
         ON_CLIENT(c.Send(a.Long(0), LeadingBytes(a.StringRef(1), a.Long(2), 3))),
         {"port", "data", "length"}, "Sends the first length bytes of data on one of the relay's serial interfaces."},
        {"Receive", {Long, StringRef, Long}, kBool, NO_CLIENT(1),
         {"port", "data", "length"}, "Does nothing and returns true."},
        {"GetDate", {LongRef, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetDate(a.LongRef(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5))),
         {"day", "month", "year", "hour", "minute", "second"}, "Reads the relay's clock."},
        {"SetDate", {Long, Long, Long, Long, Long, Long}, kBool,
         ON_CLIENT(c.SetDate(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.Long(4), a.Long(5))),
         {"day", "month", "year", "hour", "minute", "second"}, "Sets the relay's clock."},
        {"SetDisplayLight", {Bool}, kBool, ON_CLIENT(c.SetDisplayLight(a.Bool(0))),
         {"on"}, "Switches the display's backlight."},
        {"SetDisplayContrast", {Long}, kBool, ON_CLIENT(c.SetDisplayContrast(a.Long(0))),
         {"value"}, "Sets the display's contrast."},
        {"StoreCalibrationValues", {}, kBool, ON_CLIENT(c.StoreCalibrationValues()),
         {}, "Stores the calibration values in the relay's permanent memory."},
        {"GetChannelInfo", {Long, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetChannelInfo(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), nullptr, nullptr)),
         {"channel", "type", "b", "c"}, "Reads the type and two further fields of an analog channel."},
        {"Reset", {Long}, kBool, ON_CLIENT(c.Reset(a.Long(0))),
         {"mode"},
         "Restarts the relay: mode 1 into its boot system, 2 into its application; other modes are the relay's to "
         "interpret."},
        {"GetWatchdogTime", {LongRef}, kBool, ON_CLIENT(c.GetWatchdogTime(a.LongRef(0), 1)),
         {"time"}, "Measures the watchdog's time."},
        {"SetFrequency", {Double}, kBool, ON_CLIENT(c.SetFrequency(a.Double(0))),
         {"frequency"}, "Sets the nominal frequency of the analog measurement, in Hz."},
        {"IsActiv", {}, kBool,
         [](CTESTBAYDoc&, CallArgs&) -> AutomationResult { return int32_t{CurrentHwtClient() != nullptr}; },
         {}, "Whether a relay connection exists (no telegram)."},
        {"GetBusInfo", {Long, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetBusInfo(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4))),
         {"board", "a", "b", "c", "d"}, "Reads the bus information of one board."},
        {"GetBusStatistics", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetBusStatistics(a.Long(0), a.LongRef(1), a.LongRef(2))),
         {"board", "events", "runtime"}, "Reads the bus statistics of one board: its event count and run time."},
        {"GetTransducerCount", {LongRef}, kBool, ON_CLIENT(c.GetTransducerCount(a.LongRef(0))),
         {"count"}, "Reads the number of transducers."},
        {"GetTransducerValue", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetTransducerValue(a.Long(0), a.LongRef(1), a.LongRef(2))),
         {"transducer", "a", "b"}, "Reads the two raw fields of one transducer."},
        {"SetCalibrationValue", {Long, Long, Long, Double, Double}, kBool,
         ON_CLIENT(c.SetCalibrationValue(a.Long(0), a.Long(1), a.Long(2), a.Double(3), a.Double(4))),
         {"a", "b", "c", "x", "y"}, "Sets one calibration value pair."},
        {"GetCalibrationValue", {Long, Long, Long, DoubleRef, DoubleRef}, kBool,
         ON_CLIENT(c.GetCalibrationValue(a.Long(0), a.Long(1), a.Long(2), a.DoubleRef(3), a.DoubleRef(4))),
         {"a", "b", "c", "x", "y"}, "Reads one calibration value pair."},
        {"GetPhaseDifference", {Long, Long, DoubleRef}, kBool,
         ON_CLIENT(c.GetPhaseDifference(a.Long(0), a.Long(1), a.DoubleRef(2))),
         {"channel1", "channel2", "degrees"}, "Reads the phase difference between two analog channels, in degrees."},
        {"DisplayServerWindow", {Bool}, kBool, NO_CLIENT(1), {"show"}, "Does nothing and returns true."},
        {"SetRelayMask", {Long, Long}, kBool, ON_CLIENT(c.SetRelayMask(a.Long(0), a.Long(1))),
         {"mask0", "mask1"}, "Sets every output relay by the bits of two masks."},
        {"GetBinaryInputMask", {LongRef, LongRef}, kBool, ON_CLIENT(c.GetBinaryInputMask(a.LongRef(0), a.LongRef(1))),
         {"mask0", "mask1"}, "Reads every binary input as the bits of two masks."},
        {"GetSerialNumber", {StringRef}, kBool, ON_CLIENT([&] {
             std::string text;
             const int status = c.GetSerialNumber(text);
             if (status == 1) a.StringRef(0) = text;
             return status;
         }()), {"text"}, "Reads the relay's serial number; text comes back as the whole number."},
        {"TestBattery", {BoolRef}, kBool, ON_CLIENT(c.TestBattery(a.LongRef(0))),
         {"ok"}, "Tests the relay's battery; ok is the relay's verdict."},
        {"GetMlfb", {StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(0), true, [](CHwtV4Client& c, std::string& t) { return c.GetMLFB(t); });
         }, {"text"}, "Reads the relay's order number into text; text is the room for it."},
        {"GetMlfbString", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) { return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetMLFB(t); }); },
         {}, "Reads the relay's order number; None when that fails."},
        {"GetSerialNumberString", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) {
             return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetSerialNumber(t); });
         }, {}, "Reads the relay's serial number; None when that fails."},
        {"GetTimeCode", {LongRef, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool, ON_CLIENT([&] {
             int32_t status = 0;
             return c.GetTimeCode(a.LongRef(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5),
                                  status);
         }()), {"day", "month", "year", "hour", "minute", "second"}, "Reads the time of the time-code receiver."},
        {"SetTimeCodeFormat", {Long}, kBool, ON_CLIENT(c.SetTimeCodeFormat(a.Long(0))),
         {"format"}, "Sets the format of the time-code receiver."},
        {"GetTimeCodeSignal", {LongRef}, kBool, ON_CLIENT(c.GetTimeCodeSignal(a.LongRef(0))),
         {"signal"}, "Reads the signal state of the time-code receiver."},
        {"GetKeyswitch", {Long, LongRef}, kBool, ON_CLIENT(c.GetKeyswitch(a.Long(0), a.LongRef(1))),
         {"switch", "state"}, "Reads the position of a key switch."},
        {"GetHWVersion", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) {
             return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetHWVersion(t); });
         }, {}, "Reads the relay's hardware version; None when that fails."},
        {"GetCpu", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) { return TextOnClient([](CHwtV4Client& c, std::string& t) { return c.GetCPU(t); }); },
         {}, "Reads the relay's CPU board type; None when that fails."},
        {"GetAmpl", {Long, Double, LongRef}, kBool, ON_CLIENT(c.GetAmpl(a.Long(0), a.Double(1), a.LongRef(2))),
         {"channel", "frequency", "value"}, "Reads the amplitude of an analog channel at a frequency, in Hz."},
        {"SetMLFB", {String}, kBool, ON_CLIENT(c.SetMLFB(a.String(0))),
         {"text"}, "Writes the relay's order number (through its boot system when needed)."},
        {"SetSerialNumber", {String}, kBool, ON_CLIENT(c.SetSrialNumber(a.String(0))),
         {"text"}, "Writes the relay's serial number (through its boot system when needed)."},
        {"GetErrorCount", {LongRef}, kBool, ON_CLIENT(c.GetErrorCount(a.LongRef(0))),
         {"count"}, "Reads the number of stored error records."},
        {"GetError", {Long, StringRef, LongRef, LongRef, StringRef, StringRef}, kBool, ON_CLIENT([&] {
             std::string text0, text4, text1;
             const int status = c.GetError(a.Long(0), text0, a.LongRef(2), a.LongRef(3), text4, text1);
             CopyInPlace(a.StringRef(1), text0);
             CopyInPlace(a.StringRef(4), text4);
             CopyInPlace(a.StringRef(5), text1);
             return status;
         }()),
         {"index", "text0", "value2", "value3", "text4", "text1"},
         "Reads one stored error record; the three texts are rooms for its texts."},
        {"GetVersion", {Long, StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(1), false,
                                    [&](CHwtV4Client& c, std::string& t) { return c.GetVersion(a.Long(0), t); });
         }, {"index", "text"}, "Reads one of the relay's version texts into text; text is the room for it."},
        {"GetVersionString", {Long}, kString,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOnClient([&](CHwtV4Client& c, std::string& t) { return c.GetVersion(a.Long(0), t); });
         }, {"index"}, "Reads one of the relay's version texts; None when that fails."},
        {"HdlcStart", {}, kBool, ON_CLIENT(c.HdlcStart()), {}, "Starts recording on the HDLC interface."},
        {"HdlcFreeze", {}, kBool, ON_CLIENT(c.HdlcFreeze()), {}, "Stops recording on the HDLC interface."},
        {"GetHdlcStatus", {LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetHdlcStatus(a.LongRef(0), a.LongRef(1), a.LongRef(2))),
         {"a", "b", "c"}, "Reads the state of the HDLC recording."},
        {"HdlcRead", {Long, Long, LongRef, LongRef, StringRef}, kBool, ON_CLIENT([&] {
             std::vector<uint8_t> buffer;
             const int status = c.HdlcRead(a.Long(0), a.Long(1), a.LongRef(2), a.LongRef(3), buffer);
             CopyBytesInPlace(a.StringRef(4), buffer, static_cast<size_t>(std::max(a.LongRef(3), 0)));
             return status;
         }()),
         {"a", "b", "c", "length", "buffer"}, "Reads recorded HDLC bytes into buffer; length says how many came."},
        {"HdlcDecode", {Long, Long, LongRef, StringRef}, kBool, ON_CLIENT([&] {
             std::vector<uint8_t> buffer;
             const int status = c.HdlcDecode(a.Long(0), a.Long(1), a.LongRef(2), buffer);
             CopyBytesInPlace(a.StringRef(3), buffer, static_cast<size_t>(std::max(a.LongRef(2), 0)));
             return status;
         }()), {"a", "b", "length", "buffer"}, "Reads decoded HDLC bytes into buffer; length says how many came."},
        {"HdlcBin", {Long, Long}, kBool, ON_CLIENT(c.HdlcBin(a.Long(0), a.Long(1))),
         {"a", "b"}, "Sets the HDLC binary mode."},
        {"HdlcTrigger", {Long, Long}, kBool, ON_CLIENT(c.HdlcTrigger(a.Long(0), a.Long(1))),
         {"a", "b"}, "Sets the HDLC trigger."},
        {"SetHdlcParam", {Long, Long, Long, LongRef}, kBool,
         ON_CLIENT(c.SetHdlcParam(a.Long(0), a.Long(1), a.Long(2), a.LongRef(3))),
         {"a", "b", "c", "r"}, "Sets the HDLC parameters."},
        {"HdlcDecodeAlt", {Long, LongRef, LongRef, StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) { return HdlcWithOneField<&CHwtV4Client::HdlcDecodeAlt>(a); },
         {"a", "c", "length", "buffer"},
         "Reads decoded HDLC bytes into buffer (second form); length says how many came."},
        {"HdlcReadAlt", {Long, LongRef, LongRef, StringRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) { return HdlcWithOneField<&CHwtV4Client::HdlcReadAlt>(a); },
         {"a", "c", "length", "buffer"},
         "Reads recorded HDLC bytes into buffer (second form); length says how many came."},
        {"SetHdlcParamAlt", {Long, Long, LongRef}, kBool, ON_CLIENT(c.SetHdlcParamAlt(a.Long(0), a.Long(1), a.LongRef(2))),
         {"a", "b", "r"}, "Sets the HDLC parameters (second form)."},
        {"SetModulePara", {Long, StringRef}, kBool, ON_CLIENT(c.SetSerialPortParameter(a.Long(0), CText(a.StringRef(1)))),
         {"port", "text"}, "Sends parameter bytes to the module of one of the relay's serial interfaces."},
        {"GetSerialPort", {Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetSerialPort(a.Long(0), a.LongRef(1), a.LongRef(2))),
         {"slot", "socket", "address"}, "Reads the socket and the memory address of a serial-interface slot."},
        {"GetAnalogOutputProperties", {Long, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetAnalogOutputProperties(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3))),
         {"output", "a", "b", "c"}, "Reads the properties of one analog output."},
        {"GetAnalogOutput", {Long, Long, LongRef}, kBool,
         ON_CLIENT(c.GetAnalogOutput(a.Long(0), a.Long(1), a.LongRef(2))),
         {"output", "b", "value"}, "Reads the value of one analog output."},
        {"SetAnalogOutput", {Long, Long, Long}, kBool, ON_CLIENT(c.SetAnalogOutput(a.Long(0), a.Long(1), a.Long(2))),
         {"output", "b", "value"}, "Sets the value of one analog output."},
        {"GetDprInfo", {Long, StringRef}, kBool, ON_CLIENT([&] {
             std::vector<uint8_t> buffer;
             const int status = c.GetDprInfo(a.Long(0), buffer, 16);
             buffer.resize(16, 0);
             CopyBytesInPlace(a.StringRef(1), buffer, 16);
             return status;
         }()), {"port", "buffer"}, "Reads the 16 bytes of a serial interface's dual-port memory into buffer."},
        {"GetOffset", {Long, LongRef}, kBool, ON_CLIENT(c.GetOffset(a.Long(0), a.LongRef(1))),
         {"channel", "offset"}, "Reads the offset of an analog channel."},
        {"SetOffset", {Long, Long}, kBool, ON_CLIENT(c.SetOffset(a.Long(0), a.Long(1))),
         {"channel", "offset"}, "Sets the offset of an analog channel."},
        {"AdjustAllOffsets", {}, kBool, ON_CLIENT(c.SetOffset()),
         {}, "Has the relay adjust the offsets of all analog channels."},
        {"CalculateOffset", {Long, LongRef}, kBool, ON_CLIENT(c.CalculateOffset(a.Long(0), a.LongRef(1))),
         {"channel", "offset"}, "Has the relay calculate the offset of an analog channel."},
        {"WsInit", {Long, Long}, kBool, ON_CLIENT(c.WsInit(a.Long(0), a.Long(1))), {"a", "b"}, "Prepares the WS test."},
        {"WsPara", {Long, Long, Long}, kBool, ON_CLIENT(c.WsPara(a.Long(0), a.Long(1), a.Long(2))),
         {"a", "b", "c"}, "Sets the WS test's parameters."},
        {"WsTest", {Long, BoolRef, StringRef, LongRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return WsTest(a, false); },
         {"a", "ok", "text", "z"}, "Runs one WS test; ok is its verdict and text its message."},
        {"WsTestTime", {Long, BoolRef, LongRef, LongRef, StringRef, LongRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) { return WsTest(a, true); },
         {"a", "ok", "x", "y", "text", "z"}, "Runs one timed WS test; ok is its verdict and text its message."},
        {"EnterHardwaretestAtPort", {String, Long}, kBool, ON_DOCUMENT(d.EnterHardwaretestAtPort(a.Long(1))),
         {"text", "port"},
         "Opens COM<port> and brings the relay into the hardware test from whatever state it is in; the text is not "
         "used."},
        {"ReadByte", {Long, Long}, kLong, ON_DOCUMENT(d.ReadByte(a.Long(0), Unsigned(a.Long(1)))),
         {"index", "address"}, "Reads one byte of a memory area: -128 to 127, or -1 when that fails."},
        {"WriteByte", {Long, Long, Long}, kBool, ON_DOCUMENT(d.WriteByte(a.Long(0), Unsigned(a.Long(1)), a.Long(2))),
         {"index", "address", "value"}, "Writes the low byte of value into a memory area."},
        {"ThbInit", {Long}, kBool, ON_CLIENT(c.ThbInit(a.Long(0))), {"box"}, "Prepares a temperature box."},
        {"ThbTemp", {Long, LongRef, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_DOCUMENT(d.ThbTemp(a.Long(0), {&a.LongRef(1), &a.LongRef(2), &a.LongRef(3), &a.LongRef(4), &a.LongRef(5),
                                           &a.LongRef(6)})),
         {"box", "t1", "t2", "t3", "t4", "t5", "t6"},
         "Reads the six temperatures of a temperature box; 32768 when unreadable."},
        {"SetCpuId", {Long, Long, Long, String}, kBool,
         ON_CLIENT(c.SetCpuId(a.Long(0) & 0xFF, a.Long(1) & 0xFF, a.Long(2) & 0xFF, "0000000000")),
         {"a", "b", "c", "text"}, "Writes the relay's CPU identification bytes (the text sent is always 0000000000)."},
        {"SetAduMode", {Long}, kBool, ON_CLIENT(c.SetAduMode(a.Long(0))), {"mode"}, "Sets the converter's mode."},
        {"SetAduModeAndFrequency", {Long, Double}, kBool, ON_CLIENT(c.SetAduMode(a.Long(0), a.Double(1))),
         {"mode", "frequency"}, "Sets the converter's mode and frequency, in Hz."},
        {"ResetMinmaxValues", {}, kBool, ON_CLIENT(c.ResetMinmaxValues()),
         {}, "Clears the minimum and maximum values of the analog channels."},
        {"GetMinmaxValues", {Long, Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetMinmaxValues(a.Long(0), a.Long(1), a.LongRef(2), a.LongRef(3))),
         {"channel", "b", "min", "max"}, "Reads the minimum and maximum of an analog channel, scaled."},
        {"GetMinmaxValuesPP", {Long, Long, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetMinmaxValuesPP(a.Long(0), a.Long(1), a.LongRef(2), a.LongRef(3))),
         {"channel", "b", "min", "max"}, "Reads the raw minimum and maximum of an analog channel."},
        {"Sleep", {Long}, kBool, ON_DOCUMENT(d.Sleep(a.Long(0))),
         {"milliseconds"}, "Waits the given number of milliseconds."},
        {"GetChannelName", {Long}, kString, ON_DOCUMENT(d.GetChannelName(a.Long(0))),
         {"channel"}, "The name of an analog channel (board:letter number, e.g. 3:U1); None when that fails."},
        {"GetAverageChannelValue", {Long, LongRef, LongRef}, kBool,
         ON_DOCUMENT(d.GetAverageChannelValue(a.Long(0), a.LongRef(1), a.LongRef(2))),
         {"channel", "a", "average"},
         "Reads an analog channel ten times and averages the samples without the smallest and the largest."},
        {"SetCalSid", {Long, Long}, kBool, ON_CLIENT(c.SetCalSid(a.Long(0), a.Long(1))),
         {"a", "b"}, "Sets the calibration identifier."},
        {"SetCalDefaults", {}, kBool, ON_CLIENT(c.SetCalDefaults()), {}, "Restores the default calibration values."},
        {"SetCalRef", {Long, String, Long}, kBool, ON_CLIENT(c.SetCalRef(a.Long(0), a.String(1), a.Long(2))),
         {"board", "text", "value"}, "Sets a board's calibration reference."},
        {"GetCalPara", {Long, LongRef, StringRef, LongRef}, kBool,
         [](CTESTBAYDoc&, CallArgs& a) {
             return TextOutOnClient(a.StringRef(2), false, [&](CHwtV4Client& c, std::string& t) {
                 return c.GetCalPara(a.Long(0), a.LongRef(1), t, a.LongRef(3));
             });
         }, {"board", "a", "text", "value"}, "Reads a board's calibration parameters; text is the room for its text."},
        {"GetAveragePhaseDifference", {Long, Long, DoubleRef}, kBool,
         ON_DOCUMENT(d.GetAveragePhaseDifference(a.Long(0), a.Long(1), a.DoubleRef(2))),
         {"channel1", "channel2", "degrees"},
         "Reads the phase difference ten times and averages without the smallest and the largest, in degrees."},
        {"AdcEx", {Long, Long, Long, LongRef}, kBool, ON_CLIENT(c.Adc(a.Long(0), a.Long(1), a.Long(2), a.LongRef(3))),
         {"a", "b", "c", "value"}, "Reads a raw converter value, with all three selectors."},
        {"GetBusBits", {LongRef, LongRef}, kBool, ON_CLIENT(c.GetBusBits(a.LongRef(0), a.LongRef(1))),
         {"a", "b"}, "Reads the bus bits."},
        {"SetSabPara", {Long, Long, Long, Long, Long}, kBool,
         ON_CLIENT(c.SabPara(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.Long(4))),
         {"a", "b", "c", "d", "e"}, "Sets the SAB parameters."},
        {"GetSabStatus", {Long, LongRef}, kBool, ON_DOCUMENT(d.GetSabStatus(a.Long(0), a.LongRef(1))),
         {"index", "value"}, "Reads one SAB status word (counted from 0)."},
        {"CalculateOffsetEx", {Long}, kLong, ON_DOCUMENT(d.CalculateOffsetEx(a.Long(0))),
         {"channel"}, "Has the relay calculate the offset of an analog channel and returns it (0 when that fails)."},
        {"GetTestbayVersion", {}, kString,
         [](CTESTBAYDoc&, CallArgs&) -> AutomationResult { return std::optional<std::string>(kTestbayVersion); },
         {}, "The program's version text (no relay needed)."},
        {"GetModuleInfo", {Long, LongRef}, kBool, ON_CLIENT(c.GetModuleInfo(a.Long(0), a.LongRef(1))),
         {"module", "info"}, "Reads the information of a communication module."},
        {"ModuleReset", {Long}, kBool, ON_CLIENT(c.ModuleReset(a.Long(0))),
         {"module"}, "Restarts a communication module."},
        {"TestSerialPortEx", {Long, BoolRef}, kBool, ON_CLIENT(c.TestSerialPort(a.Long(0), a.LongRef(1))),
         {"port", "ok"}, "Runs the simple test of one of the relay's serial interfaces; ok is the relay's verdict."},
        {"TestSerialPortEx1", {Long, Long, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.TestSerialPortEx1(a.Long(0), a.Long(1), a.Long(2), a.Long(3), a.LongRef(4))),
         {"port", "b", "c", "d", "ok"},
         "Runs a test of one of the relay's serial interfaces with the settings b, c and d; ok is the relay's "
         "verdict."},
        {"TestSerialPortEx2", {Long, Long, String, Long, Long, BoolRef}, kBool,
         ON_CLIENT(c.TestSerialPortEx2(a.Long(0), a.Long(1), LeadingBytes(a.String(2), a.Long(3), 4), a.Long(4),
                                       a.LongRef(5))),
         {"port", "b", "text", "length", "e", "ok"},
         "Runs a serial-interface test that sends the first length bytes of text; ok is the relay's verdict."},
        {"GetModul", {Long, LongRef, LongRef, LongRef, LongRef, LongRef}, kBool,
         ON_CLIENT(c.GetModul(a.Long(0), a.LongRef(1), a.LongRef(2), a.LongRef(3), a.LongRef(4), a.LongRef(5))),
         {"module", "a", "b", "c", "d", "e"}, "Reads the description of a module."},
        {"Nk300GetSerialNumber", {Long, StringRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return Nk300SerialNumber(a); },
         {"module", "text"}, "Reads an Ethernet module's serial number into text (always true)."},
        {"Nk300GetMacAdr", {Long, StringRef}, kBool, [](CTESTBAYDoc&, CallArgs& a) { return Nk300MacAddress(a); },
         {"module", "text"}, "Reads an Ethernet module's MAC address into text (always true)."},
        {"Nk300GetMacAdrString", {Long}, kString,
         [](CTESTBAYDoc&, CallArgs& a) -> AutomationResult {
             const ClientUse use;
             CHwtV4Client* client = use.Client();
             if (!client) return std::optional<std::string>();
             std::string text;
             client->Nk300GetMacAdr(a.Long(0), text);
             return std::optional<std::string>(text);
         }, {"module"}, "Reads an Ethernet module's MAC address; None without a connection."},
        {"Nk300GetSerialNumberString", {Long}, kString,
         [](CTESTBAYDoc&, CallArgs& a) -> AutomationResult {
             const ClientUse use;
             CHwtV4Client* client = use.Client();
             if (!client) return std::optional<std::string>();
             std::string text;
             client->Nk300GetSerialNumber(a.Long(0), text, 256);
             return std::optional<std::string>(text);
         }, {"module"}, "Reads an Ethernet module's serial number; None without a connection."},
        {"TestCommunicationModule", {Long, Long, LongRef}, kBool,
         ON_CLIENT(c.TestCommunicationModule(a.Long(0), a.Long(1), a.LongRef(2))),
         {"module", "b", "result"}, "Tests a communication module."},
        {"GetCpuId", {LongRef, LongRef, LongRef, StringRef, LongRef}, kBool,
         ON_DOCUMENT(d.GetCpuId(a.LongRef(0), a.LongRef(1), a.LongRef(2), a.StringRef(3), a.LongRef(4))),
         {"a", "b", "c", "text", "d"}, "Reads the relay's CPU identification: three bytes, a text and a number."},
        {"GetLastErrorText", {}, kString, ON_DOCUMENT(std::optional<std::string>(d.LastErrorText())), {},
         "The reason the last entry into the hardware test failed; empty after one that succeeded."},
        {"LeaveHardwaretest", {}, kBool, ON_DOCUMENT(d.LeaveHardwaretest()), {},
         "Restarts the relay into the firmware it was found in, then closes the port."},
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
