// One hardware-test operation against a relay whose answers come from the
// input: the first byte picks a method of the automation table or a client
// operation that the table does not reach, the next bytes its arguments, the
// rest the answers (see answer_stream.h).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "answer_stream.h"
#include "automation/automation_document.h"
#include "automation/automation_methods.h"
#include "hwt/hwt_client.h"

namespace {

using testbay::CHwtV4Client;
using testbay::fuzz::FuzzStream;

using ClientOperation = std::function<void(CHwtV4Client&, FuzzStream&)>;

// Client operations outside the automation table, or with arguments the
// table fixes.
const std::vector<ClientOperation>& ClientOperations() {
    static const std::vector<ClientOperation> operations = {
        [](CHwtV4Client& c, FuzzStream&) { c.CheckHwt(); },
        [](CHwtV4Client& c, FuzzStream&) { c.FindBaudrate(); },
        [](CHwtV4Client& c, FuzzStream&) { c.ReduceBaudrate(); },
        [](CHwtV4Client& c, FuzzStream&) { c.ExitHardwareTest(); },
        [](CHwtV4Client& c, FuzzStream&) { c.GetVersionNumber(); },
        [](CHwtV4Client& c, FuzzStream&) {
            int32_t packed = 0, channel = 0;
            c.FindCalibrationChannel(packed, channel);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t a = 0, b = 0;
            c.GetBinaryInputInfo(s.Int32(), a, b);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::array<int32_t, 12> first{}, second{};
            const size_t firstSize = s.Byte() % (first.size() + 1);
            const size_t secondSize = s.Byte() % (second.size() + 1);
            c.GetBinaryInputMaskArray(std::span(first).first(firstSize), std::span(second).first(secondSize),
                                      s.Int32());
        },
        [](CHwtV4Client& c, FuzzStream&) {
            int32_t a = 0, b = 0, d = 0;
            c.GetBinaryInputMaskAvailable(a, b, d);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::array<uint32_t, 8> bits{};
            c.GetBinaryInputMaskAvailable(std::span(bits).first(s.Byte() % (bits.size() + 1)));
        },
        [](CHwtV4Client& c, FuzzStream&) { c.GetBinaryInputMask(); },
        [](CHwtV4Client& c, FuzzStream&) { c.GetDisplayContrast(); },
        [](CHwtV4Client& c, FuzzStream&) { c.InitDisplay(); },
        [](CHwtV4Client& c, FuzzStream&) {
            int32_t a = 0, b = 0, d = 0, e = 0;
            c.GetParAdr(a, b, d, e);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t a = 0, b = 0;
            c.GetRelayInfo(s.Int32(), a, b);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t socket = 0;
            c.GetSerialPortNumber(s.Int32(), socket);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t slot = 0;
            c.Socket2Com(s.Int32(), slot);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t ok = 0;
            c.HwtCopyMemory(s.Int32(), s.Int32(), s.Int32(), ok);
        },
        [](CHwtV4Client& c, FuzzStream& s) { c.Jump(static_cast<uint32_t>(s.Int32())); },
        [](CHwtV4Client& c, FuzzStream&) {
            int32_t value = 0;
            c.PowerFail(value);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::vector<uint8_t> buffer;
            c.ReadMemoryAligned16(s.Int32(), static_cast<uint32_t>(s.Int32()), static_cast<uint32_t>(s.Int32()),
                                  buffer);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t checksum = 0;
            c.XorMemory(s.Int32(), static_cast<uint32_t>(s.Int32()), static_cast<uint32_t>(s.Int32()), checksum);
        },
        [](CHwtV4Client& c, FuzzStream&) { c.Receive(); },
        [](CHwtV4Client& c, FuzzStream& s) { c.SetAutoOffsetMode(s.Int32()); },
        [](CHwtV4Client& c, FuzzStream&) { c.TestWatchdogPattern(); },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t count = 0;
            c.GetErrorCount(s.Int32(), count);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::string buffer;
            c.GetError(s.Int32(), s.Int32(), buffer, s.Byte());
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::array<int32_t, 12> values{};
            int32_t count = 0;
            c.SabStatus(std::span(values).first(s.Byte() % (values.size() + 1)), count);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::string text;
            c.ThbTemp(s.Int32(), text, s.Byte());
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::string text;
            c.Nk300GetSerialNumber(s.Int32(), text, s.Byte());
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::string text;
            c.WsTest(s.Int32(), s.Byte() % 2, nullptr, nullptr, nullptr, s.Byte() % 2 ? &text : nullptr, nullptr);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t type = 0, b = 0, d = 0, value = 0, board = 0;
            c.GetChannelInfo(s.Int32(), type, b, d, &value, &board);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t a = 0, average = 0;
            c.GetAverageChannelValue(s.Int32(), a, average);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            double degrees = 0;
            const int32_t first = s.Int32();
            c.GetAveragePhaseDifference(first, s.Int32(), degrees);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::string text;
            c.GetChannelName(s.Int32(), text);
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            std::vector<uint8_t> buffer;
            c.GetDprInfo(s.Int32(), buffer, static_cast<uint32_t>(s.Int32()));
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            const int32_t a = s.Int32(), b = s.Int32(), d = s.Int32();
            c.SetCpuId(a, b, d, s.Text(64));
        },
        [](CHwtV4Client& c, FuzzStream& s) {
            int32_t d = 0, length = 0;
            std::vector<uint8_t> buffer;
            c.HdlcRead(s.Int32(), s.Int32(), d, length, buffer);
            c.HdlcReadAlt(s.Int32(), d, length, buffer);
        },
    };
    return operations;
}

// Arguments of the method's types, taken from the stream.
testbay::CallArgs ArgumentsFor(const testbay::AutomationMethod& method, FuzzStream& stream) {
    using testbay::ParamType;
    std::vector<testbay::AutomationValue> values;
    for (const ParamType type : method.params) {
        switch (type) {
        case ParamType::Double:
        case ParamType::DoubleRef: values.emplace_back(stream.Double()); break;
        case ParamType::String:
        case ParamType::StringRef: values.emplace_back(stream.Text(300)); break;
        default: values.emplace_back(stream.Int32()); break;
        }
    }
    return testbay::CallArgs(std::move(values));
}

bool ConnectsItself(const testbay::AutomationMethod& method) {
    return std::string_view(method.name).starts_with("EnterHardwaretest");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStream stream(data, size);
    const auto& methods = testbay::AutomationMethods();
    const size_t pick = stream.Byte() % (methods.size() + ClientOperations().size());
    testbay::fuzz::StreamLine line(stream, 1);
    CHwtV4Client client(line.Channel());
    try {
        if (pick < methods.size()) {
            const testbay::AutomationMethod& method = methods[pick];
            if (ConnectsItself(method)) return 0;
            testbay::CTESTBAYDoc document;
            testbay::CallArgs args = ArgumentsFor(method, stream);
            method.call(document, args);
        } else {
            ClientOperations()[pick - methods.size()](client, stream);
        }
    } catch (const testbay::AutomationParamError&) {
        // A refused argument ends the call before the line is used.
    }
    return 0;
}
