#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "app/automation_methods.h"
#include "app/automation_server.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using nlohmann::json;
using test::Bytes;
using test::ScriptedPeer;
using test::VirtualLineFixture;

TEST(AutomationTable, PositionsNamesAndTypes) {
    const auto& methods = AutomationMethods();
    ASSERT_EQ(methods.size(), 142u);
    const std::pair<int, const char*> anchors[] = {{1, "EnterHardwaretest"},      {40, "TestSerialPort"},
                                                   {52, "IsActiv"},               {106, "EnterHardwaretestAtPort"},
                                                   {130, "GetTestbayVersion"},    {133, "TestSerialPortEx"},
                                                   {142, "GetCpuId"}};
    for (const auto& [dispId, name] : anchors) EXPECT_STREQ(methods[static_cast<size_t>(dispId - 1)].name, name);
    std::set<std::string> lowerNames;
    for (const AutomationMethod& method : methods) {
        std::string lower = method.name;
        for (char& letter : lower) letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        EXPECT_TRUE(lowerNames.insert(lower).second) << method.name;
    }
    const AutomationMethod* getMemoryInfo = FindAutomationMethod("GETMEMORYINFO");
    ASSERT_NE(getMemoryInfo, nullptr);
    EXPECT_EQ(DispIdOf(*getMemoryInfo), 20);
    EXPECT_EQ(getMemoryInfo->params,
              (std::vector<ParamType>{ParamType::Long, ParamType::LongRef, ParamType::LongRef, ParamType::LongRef,
                                      ParamType::LongRef, ParamType::BoolRef, ParamType::BoolRef}));
    EXPECT_EQ(FindAutomationMethod("ReadByte")->returns, ReturnType::Long);
    EXPECT_EQ(FindAutomationMethod("GetChannelName")->returns, ReturnType::String);
    EXPECT_EQ(FindAutomationMethod("GetLedCount "), nullptr);
}

TEST(AutomationStrings, InPlaceCopiesKeepTheLengthAndNeverWritePastIt) {
    std::string room(8, 'x');
    CopyInPlace(room, "MBX2");
    EXPECT_EQ(room, std::string("MBX2\0xxx", 8));
    std::string tight(3, 'x');
    CopyInPlace(tight, "MBX2");
    EXPECT_EQ(tight, "MBX");
    std::string none;
    CopyInPlace(none, "MBX2");
    EXPECT_EQ(none, "");
    EXPECT_EQ(LeadingBytes("abc", 4, 3), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
    EXPECT_THROW(LeadingBytes("abc", 5, 3), AutomationParamError);
    EXPECT_THROW(LeadingBytes("abc", -1, 3), AutomationParamError);
}

TEST(AutomationStrings, EightBitTextsTravelAsLatin1) {
    const std::string bytes("\x00\x41\x7F\x80\xE4\xFF", 6);
    std::string back;
    ASSERT_TRUE(Utf8ToEightBit(EightBitToUtf8(bytes), back));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(Utf8ToEightBit("\xE2\x82\xAC", back));  // the euro sign lies above U+00FF
    EXPECT_FALSE(Utf8ToEightBit("\xC3", back));
}

// Answers hardware-test requests by command code with what the test sets.
class ScriptedRelay {
public:
    using Answer = std::function<Bytes(const Bytes& request)>;
    ScriptedRelay() {
        peer.SetScript([this](const Bytes& request) {
            const uint8_t command = request[2];
            if (command == 0x0E) return std::vector<Bytes>{Frame(command, 1, {})};
            auto found = answers.find(command);
            return std::vector<Bytes>{found != answers.end() ? found->second(request) : Frame(command, 3, {})};
        });
    }
    // 68 L echo status type fields sum, every field a four-byte scalar or a block.
    static Bytes Frame(uint8_t command, uint8_t status, const std::vector<std::variant<int32_t, std::string>>& fields) {
        Bytes data;
        uint8_t type = 0;
        for (size_t index = 0; index < fields.size(); ++index) {
            if (const auto* text = std::get_if<std::string>(&fields[index])) {
                data.push_back(static_cast<uint8_t>(text->size()));
                data.insert(data.end(), text->begin(), text->end());
                if (index < 4) type |= static_cast<uint8_t>(3 << (2 * index));
            } else {
                const auto value = static_cast<uint32_t>(std::get<int32_t>(fields[index]));
                for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<uint8_t>(value >> shift));
                if (index < 4) type |= static_cast<uint8_t>(2 << (2 * index));
            }
        }
        Bytes frame{0x68, static_cast<uint8_t>(3 + data.size()), command, status, type};
        for (const uint8_t byte : data) frame.push_back(byte);
        uint8_t sum = 0;
        for (size_t index = 2; index < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
        frame.push_back(sum);
        return frame;
    }
    // Successive answers of one command carry these first fields.
    void Sequence(uint8_t command, std::vector<int32_t> values) {
        auto next = std::make_shared<size_t>(0);
        answers[command] = [command, values, next](const Bytes&) {
            const int32_t value = values[std::min(*next, values.size() - 1)];
            ++*next;
            return Frame(command, 1, {value, value});
        };
    }

    ScriptedPeer peer;
    std::map<uint8_t, Answer> answers;
};

class Automation : public ::testing::Test {
protected:
    json Call(const std::string& method, json params = json::array()) {
        const json request{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        const auto reply = server_.HandleLine(request.dump());
        return reply ? json::parse(*reply) : json();
    }
    json Result(const std::string& method, json params = json::array()) { return Call(method, params)["result"]; }
    void Connect() { ASSERT_EQ(Result("EnterHardwaretestAtPort", {"", 1})["return"], true); }

    ScriptedRelay relay_;
    VirtualLineFixture line_{relay_.peer};
    AutomationServer server_;
};

TEST_F(Automation, WithoutAClientMethodsFailQuietlyAndOthersStillWork) {
    EXPECT_EQ(Result("GetLedCount"), (json{{"return", false}, {"out", {0}}}));
    EXPECT_EQ(Result("GetCpu")["return"], nullptr);
    EXPECT_EQ(Result("ReadByte", {0, 0})["return"], -1);
    EXPECT_EQ(Result("CalculateOffsetEx", {1})["return"], 0);
    EXPECT_EQ(Result("Nk300GetMacAdr", {1, "abcd"}), (json{{"return", true}, {"out", {"abcd"}}}));
    EXPECT_EQ(Result("Receive", {1, "xy", 2}), (json{{"return", true}, {"out", {"xy"}}}));
    EXPECT_EQ(Result("IsActiv")["return"], false);
    Connect();
    EXPECT_EQ(Result("IsActiv")["return"], true);
    EXPECT_EQ(Result("ExitHardwaretest")["return"], true);
    EXPECT_EQ(Result("IsActiv")["return"], false);
}

TEST_F(Automation, AveragesDropTheExtremes) {
    Connect();
    relay_.Sequence(0x49, std::vector<int32_t>(10, 500));
    EXPECT_EQ(Result("GetAverageChannelValue", {1}), (json{{"return", true}, {"out", {500, 500}}}));
    relay_.Sequence(0x49, {-10, -20, -30, -40, -50, -60, -70, -80, -90, -100});
    // The remaining sum is -440 over 8 samples; the rounding term is added as it stands.
    EXPECT_EQ(Result("GetAverageChannelValue", {1})["out"][1], -54);

    // Around 180 degrees the negative samples join the positive ones.
    relay_.Sequence(0x4A, {179000, -179000, 178000, -178000, 180000, 179500, -179500, 179000, 179000, 179000});
    const json phase = Result("GetAveragePhaseDifference", {1, 2});
    EXPECT_EQ(phase["return"], true);
    EXPECT_NEAR(phase["out"][0].get<double>(), 180.0, 1.0);
}

TEST_F(Automation, ChannelNamesThermoboxAndBytes) {
    Connect();
    relay_.answers[0x49] = [](const Bytes& request) {
        return request.size() > 5 ? ScriptedRelay::Frame(0x49, 1, {21, 0}) : ScriptedRelay::Frame(0x49, 1, {8});
    };
    int32_t type = 4;
    relay_.answers[0x4D] = [&type](const Bytes&) { return ScriptedRelay::Frame(0x4D, 1, {0, type, 0, 0, 3}); };
    EXPECT_EQ(Result("GetChannelName", {1})["return"], "3:U1");
    type = 6;
    EXPECT_EQ(Result("GetChannelName", {1})["return"], "3:?21");

    relay_.answers[0x30] = [](const Bytes&) {
        return ScriptedRelay::Frame(0x30, 1, {std::string("~   123x*   -   ?   045 ")});
    };
    EXPECT_EQ(Result("ThbTemp", {1}), (json{{"return", true}, {"out", {-999, 123, 980, 999, 32768, 45}}}));

    relay_.answers[0x17] = [](const Bytes&) { return ScriptedRelay::Frame(0x17, 1, {std::string("\xFF")}); };
    EXPECT_EQ(Result("ReadByte", {0, 16})["return"], -1);
}

TEST_F(Automation, SetCpuIdAlwaysSendsTheFixedText) {
    Connect();
    Bytes sent;
    relay_.answers[0x53] = [&sent](const Bytes& request) {
        sent = request;
        return ScriptedRelay::Frame(0x53, 1, {});
    };
    EXPECT_EQ(Result("SetCpuId", {0x101, 2, 3, "ignored"})["return"], true);
    const std::string text(sent.end() - 11, sent.end() - 1);
    EXPECT_EQ(text, "0000000000");
    EXPECT_EQ(sent[4], 0x01);
}

TEST_F(Automation, BadInputGetsItsErrorAndTheServerGoesOn) {
    auto errorCode = [this](const std::string& line) {
        const auto reply = server_.HandleLine(line);
        return reply ? json::parse(*reply)["error"]["code"].get<int>() : 0;
    };
    EXPECT_EQ(errorCode("{not json"), -32700);
    EXPECT_EQ(errorCode("\"\xC3\x28\""), -32700);
    EXPECT_EQ(errorCode("[1,2]"), -32600);
    EXPECT_EQ(errorCode(R"({"id":1,"method":7})"), -32600);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"NoSuch"})"), -32601);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"SetLed","params":[1]})"), -32602);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"SetLed","params":[1,true,3]})"), -32602);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"SetLed","params":["1",true]})"), -32602);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"SetLed","params":{"led":1}})"), -32602);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"SetLevel","params":["\u20ac"]})"), -32602);
    EXPECT_EQ(errorCode(R"({"id":1,"method":"SetLed","params":[5000000000,true]})"), -32602);
    const std::string huge = R"({"id":1,"method":"SetLevel","params":[")" + std::string(1 << 20, 'a') + "\"]}";
    EXPECT_EQ(json::parse(*server_.HandleLine(huge))["result"]["return"], false);
    const std::string message = json::parse(*server_.HandleLine(R"({"id":1,"method":"SetLed","params":[1,"x"]})"))
                                    ["error"]["message"];
    EXPECT_NE(message.find("parameter 2"), std::string::npos);
    EXPECT_NE(message.find("BOOL"), std::string::npos);

    EXPECT_FALSE(server_.HandleLine(R"({"jsonrpc":"2.0","method":"GetTestbayVersion"})").has_value());
    EXPECT_EQ(json::parse(*server_.HandleLine(R"({"id":null,"method":"GetTestbayVersion"})"))["id"], nullptr);
    EXPECT_EQ(Result("gettestbayversion")["return"], "04.02.08");
    EXPECT_EQ(Result("$methods").size(), 142u);
}

TEST_F(Automation, SerialLayerExceptionEndsOnlyTheCall) {
    Connect();
    ComClose(server_.Document().Channel());
    const json reply = Call("GetLedCount");
    EXPECT_EQ(reply["error"]["code"], -32000);
    EXPECT_EQ(reply["error"]["message"], "Port geschlossen");
    EXPECT_EQ(Result("ExitHardwaretest")["return"], true);
    EXPECT_EQ(Result("GetTestbayVersion")["return"], "04.02.08");
}

TEST_F(Automation, SecondEnterWithoutExitFindsThePortBusy) {
    Connect();
    EXPECT_EQ(Result("EnterHardwaretestAtPort", {"", 1})["return"], false);
    EXPECT_EQ(Result("IsActiv")["return"], true);
}

}  // namespace
}  // namespace testbay
