#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <map>
#include <set>

#include "automation/automation_methods.h"
#include "automation/automation_server.h"
#include "sim/hwt_codec.h"
#include "support/answer_table.h"

namespace testbay {
namespace {

using nlohmann::json;
using sim::AnswerScalar;
using sim::AnswerText;
using sim::EncodeHwtAnswer;
using test::Bytes;

TEST(AutomationTable, PositionsAndNamesInAnyCase) {
    const auto& methods = AutomationMethods();
    ASSERT_EQ(methods.size(), 144u);
    const std::pair<int, const char*> anchors[] = {
        {1, "EnterHardwaretest"},   {40, "TestSerialPort"},    {52, "IsActiv"},   {106, "EnterHardwaretestAtPort"},
        {130, "GetTestbayVersion"}, {133, "TestSerialPortEx"}, {142, "GetCpuId"}, {143, "GetLastErrorText"},
        {144, "LeaveHardwaretest"}};
    for (const auto& [dispId, name] : anchors) EXPECT_STREQ(methods[static_cast<size_t>(dispId - 1)].name, name);
    std::set<std::string> lowerNames;
    for (const AutomationMethod& method : methods) {
        std::string lower = method.name;
        for (char& letter : lower) letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
        EXPECT_TRUE(lowerNames.insert(lower).second) << method.name;
    }
    // Names are found in any case, and only whole.
    const AutomationMethod* getMemoryInfo = FindAutomationMethod("GETMEMORYINFO");
    ASSERT_NE(getMemoryInfo, nullptr);
    EXPECT_EQ(DispIdOf(*getMemoryInfo), 20);
    EXPECT_EQ(FindAutomationMethod("GetLedCount "), nullptr);
}

TEST(AutomationStrings, InPlaceCopiesKeepTheLengthAndTextsTravelAsLatin1) {
    std::string room(8, 'x'), tight(3, 'x'), none;
    for (std::string* text : {&room, &tight, &none}) CopyInPlace(*text, "MBX2");
    EXPECT_EQ(room, std::string("MBX2\0xxx", 8));
    EXPECT_EQ(tight, "MBX");
    EXPECT_EQ(none, "");
    EXPECT_EQ(LeadingBytes("abc", 4, 3), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
    EXPECT_THROW(LeadingBytes("abc", 5, 3), AutomationParamError);
    EXPECT_THROW(LeadingBytes("abc", -1, 3), AutomationParamError);

    const std::string bytes("\x00\x41\x7F\x80\xE4\xFF", 6);
    std::string back;
    ASSERT_TRUE(Utf8ToEightBit(EightBitToUtf8(bytes), back));
    EXPECT_EQ(back, bytes);
    EXPECT_FALSE(Utf8ToEightBit("\xE2\x82\xAC", back));  // the euro sign lies above U+00FF
    EXPECT_FALSE(Utf8ToEightBit("\xC3", back));
}

// The relay answers by command code what the test sets; the LED count always passes.
class Automation : public ::testing::Test {
protected:
    json Call(const std::string& method, json params = json::array()) {
        const json request{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        const auto reply = server_.HandleLine(request.dump());
        return reply ? json::parse(*reply) : json();
    }
    json Result(const std::string& method, json params = json::array()) { return Call(method, params)["result"]; }
    void Connect() { ASSERT_EQ(Result("EnterHardwaretestAtPort", {"", 1})["return"], true); }
    // Successive answers of one command carry these first fields.
    void Sequence(uint8_t command, std::vector<int32_t> values) {
        firmware_.answers[command] = [command, values, next = size_t{0}](const Bytes&) mutable {
            const int32_t value = values[std::min(next++, values.size() - 1)];
            return EncodeHwtAnswer(command, 1, {AnswerScalar(value), AnswerScalar(value)});
        };
    }

    test::AnswerTable firmware_;
    AutomationServer server_;
};

TEST_F(Automation, WithoutAClientMethodsFailQuietlyASecondEnterFindsThePortBusyAndSerialErrorsEndOnlyTheCall) {
    EXPECT_EQ(Result("CalculateOffsetEx", {1})["return"], 0);
    EXPECT_EQ(Result("IsActiv")["return"], false);
    Connect();
    EXPECT_EQ(Result("EnterHardwaretestAtPort", {"", 1})["return"], false);
    EXPECT_EQ(Result("IsActiv")["return"], true);
    // An exception of the serial layer ends only the call.
    ComClose(server_.Document().Channel());
    const json reply = Call("GetLedCount");
    EXPECT_EQ(reply["error"]["code"], -32000);
    EXPECT_EQ(reply["error"]["message"], "Port geschlossen");
    EXPECT_EQ(Result("ExitHardwaretest")["return"], true);
    EXPECT_EQ(Result("IsActiv")["return"], false);
}

TEST_F(Automation, AveragesDropTheExtremesAndNamesThermoboxAndCpuIdFollowTheirRules) {
    Connect();
    Sequence(0x49, std::vector<int32_t>(10, 500));
    EXPECT_EQ(Result("GetAverageChannelValue", {1}), (json{{"return", true}, {"out", {500, 500}}}));
    Sequence(0x49, {-10, -20, -30, -40, -50, -60, -70, -80, -90, -100});
    // The remaining sum is -440 over 8 samples; the rounding term is added as it stands.
    EXPECT_EQ(Result("GetAverageChannelValue", {1})["out"][1], -54);

    // Around 180 degrees the negative samples join the positive ones.
    Sequence(0x4A, {179000, -179000, 178000, -178000, 180000, 179500, -179500, 179000, 179000, 179000});
    const json phase = Result("GetAveragePhaseDifference", {1, 2});
    EXPECT_EQ(phase["return"], true);
    EXPECT_NEAR(phase["out"][0].get<double>(), 180.0, 1.0);

    firmware_.answers[0x49] = [](const Bytes& request) {
        return EncodeHwtAnswer(0x49, 1, {AnswerScalar(request.size() > 5 ? 21 : 8), AnswerScalar(0)});
    };
    int32_t type = 4;
    firmware_.answers[0x4D] = [&type](const Bytes&) {
        return EncodeHwtAnswer(
            0x4D, 1, {AnswerScalar(0), AnswerScalar(type), AnswerScalar(0), AnswerScalar(0), AnswerScalar(3)});
    };
    EXPECT_EQ(Result("GetChannelName", {1})["return"], "3:U1");
    type = 6;
    EXPECT_EQ(Result("GetChannelName", {1})["return"], "3:?21");
    // The number counts from the type's base without wrapping at 32 bits.
    type = 4;
    firmware_.answers[0x49] = [](const Bytes& request) {
        return EncodeHwtAnswer(0x49, 1, {AnswerScalar(request.size() > 5 ? INT32_MIN + 5 : 8), AnswerScalar(0)});
    };
    EXPECT_EQ(Result("GetChannelName", {1})["return"], "3:U-2147483663");

    firmware_.answers[0x30] = [](const Bytes&) {
        return EncodeHwtAnswer(0x30, 1, {AnswerText("~   123x*   -   ?   045 ")});
    };
    EXPECT_EQ(Result("ThbTemp", {1}), (json{{"return", true}, {"out", {-999, 123, 980, 999, 32768, 45}}}));

    Bytes sent;
    firmware_.answers[0x53] = [&sent](const Bytes& request) {
        sent = request;
        return EncodeHwtAnswer(0x53, 1, {});
    };
    EXPECT_EQ(Result("SetCpuId", {0x101, 2, 3, "ignored"})["return"], true);
    EXPECT_EQ(std::string(sent.end() - 11, sent.end() - 1), "0000000000");
    EXPECT_EQ(sent[4], 0x01);
}

TEST_F(Automation, ReadLengthsBeyondOneAnswerAreRefusedAndAShortStringTakesWhatFits) {
    Connect();
    firmware_.answers[0x17] = [](const Bytes&) { return EncodeHwtAnswer(0x17, 1, {AnswerText("abcdef")}); };
    const auto reads = [this] { return test::SentScalars(firmware_.line.Line(), 0x17); };
    const std::string room(kHwtMaxAnswerBlock, ' ');
    const json refused[] = {{0, 0, -1, room}, {0, 0, kHwtMaxAnswerBlock + 1, room + ' '}, {0, 0, INT32_MIN, ""}};
    for (const json& params : refused) {
        const json reply = Call("ReadMemory", params);
        EXPECT_EQ(reply["error"]["code"], -32602) << params.dump();
        EXPECT_NE(reply["error"]["message"].get<std::string>().find("parameter 3"), std::string::npos);
    }
    EXPECT_TRUE(reads().empty());

    // The request asks for the whole length; the caller's string keeps its
    // own length and takes what fits, or nothing at all.
    const std::pair<json, std::string> fits[] = {{{0, 0x40, 3, "xyz"}, "abc"},
                                                 {{0, 0x40, 6, "xy"}, "ab"},
                                                 {{0, 0x40, 4, ""}, ""},
                                                 {{0, 0x40, 2, "wxyz"}, "abyz"}};
    for (const auto& [params, out] : fits) {
        EXPECT_EQ(Result("ReadMemory", params), (json{{"return", true}, {"out", {out}}})) << params.dump();
        ASSERT_FALSE(reads().empty());
        EXPECT_EQ(reads().back(), (std::vector<int32_t>{0, 0x40, params[2].get<int32_t>()})) << params.dump();
    }
    EXPECT_EQ(Result("ReadMemory", {0, 0, room.size(), room})["return"], true);
    EXPECT_EQ(Result("GetLedCount"), (json{{"return", true}, {"out", {0}}}));
}

TEST_F(Automation, ThermoboxFieldsAreDecimalsWithLeadingBlanksAndASign) {
    Connect();
    firmware_.answers[0x30] = [](const Bytes&) {
        return EncodeHwtAnswer(0x30, 1, {AnswerText(" 25  -5 +7  12x 0071  9 ")});
    };
    EXPECT_EQ(Result("ThbTemp", {1}), (json{{"return", true}, {"out", {25, -5, 7, 12, 7, 9}}}));
}

TEST_F(Automation, BadInputGetsItsErrorAndTheServerGoesOn) {
    const std::pair<std::string, int> cases[] = {
        {"{not json", -32700},
        {"\"\xC3\x28\"", -32700},
        {R"([{"jsonrpc":"2.0","id":1,"method":"IsActiv"},)", -32700},
        {"[]", -32600},
        {R"({"jsonrpc":"2.0","id":1,"method":7})", -32600},
        {R"({"id":1,"method":"IsActiv"})", -32600},
        {R"({"jsonrpc":"1.0","id":1,"method":"IsActiv"})", -32600},
        {R"({"jsonrpc":2.0,"id":1,"method":"IsActiv"})", -32600},
        {R"({"jsonrpc":"2.0","id":{"a":1},"method":"IsActiv"})", -32600},
        {R"({"jsonrpc":"2.0","id":1,"method":"IsActiv","params":5})", -32600},
        {R"({"jsonrpc":"2.0","id":1,"method":"SetLed","params":[1]})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"SetLed","params":[1,true,3]})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"SetLed","params":{"led":1}})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"SetLed","params":[5000000000,true]})", -32602},
    };
    for (const auto& [line, code] : cases) {
        const auto reply = server_.HandleLine(line);
        EXPECT_EQ(reply ? json::parse(*reply)["error"]["code"].get<int>() : 0, code) << line;
    }
    // An invalid request is answered even without an id, and with null for an id that cannot be one.
    EXPECT_EQ(json::parse(*server_.HandleLine(R"({"jsonrpc":"1.0","method":"IsActiv"})"))["id"], nullptr);
    EXPECT_EQ(json::parse(*server_.HandleLine(R"({"jsonrpc":"2.0","id":[1],"method":"IsActiv"})"))["id"], nullptr);
    const std::string huge =
        R"({"jsonrpc":"2.0","id":1,"method":"SetLevel","params":[")" + std::string(1 << 20, 'a') + "\"]}";
    EXPECT_EQ(json::parse(*server_.HandleLine(huge))["result"]["return"], false);
    const std::string message = Call("SetLed", {1, "x"})["error"]["message"];
    EXPECT_NE(message.find("parameter 2"), std::string::npos);
    EXPECT_NE(message.find("BOOL"), std::string::npos);

    EXPECT_FALSE(server_.HandleLine(R"({"jsonrpc":"2.0","method":"GetTestbayVersion"})").has_value());
    EXPECT_EQ(json::parse(*server_.HandleLine(R"({"jsonrpc":"2.0","id":null,"method":"GetTestbayVersion"})"))["id"],
              nullptr);
}

TEST_F(Automation, ABatchIsAnsweredByOneArrayWithoutItsNotifications) {
    const std::string batch = R"([
        {"jsonrpc":"2.0","method":"EnterHardwaretestAtPort","params":["",1]},
        {"jsonrpc":"2.0","id":1,"method":"IsActiv"},
        {"jsonrpc":"2.0","id":"b","method":"NoSuch"},
        7,
        {"jsonrpc":"1.0","id":3,"method":"IsActiv"},
        {"jsonrpc":"2.0","method":"NoSuch"},
        {"jsonrpc":"2.0","id":4,"method":"GetLedCount","params":[]}
    ])";
    std::string line = batch;
    std::erase(line, '\n');
    const auto reply = server_.HandleLine(line);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->find('\n'), std::string::npos);
    const json replies = json::parse(*reply);
    ASSERT_TRUE(replies.is_array());
    std::map<std::string, json> byId;
    for (const json& each : replies) byId[each["id"].dump()].push_back(each);
    ASSERT_EQ(replies.size(), 5u);
    // The notification ahead of them was carried out: the relay is in the hardware test.
    EXPECT_EQ(byId["1"][0]["result"]["return"], true);
    EXPECT_EQ(byId["\"b\""][0]["error"]["code"], -32601);
    EXPECT_EQ(byId["3"][0]["error"]["code"], -32600);
    ASSERT_EQ(byId["null"].size(), 1u);
    EXPECT_EQ(byId["null"][0]["error"]["code"], -32600);
    EXPECT_EQ(byId["4"][0]["result"]["return"], true);

    EXPECT_FALSE(server_.HandleLine(R"([{"jsonrpc":"2.0","method":"IsActiv"},{"jsonrpc":"2.0","method":"No"}])"));
    const json single = json::parse(*server_.HandleLine(R"([{"jsonrpc":"2.0","id":9,"method":"IsActiv"}])"));
    ASSERT_TRUE(single.is_array());
    EXPECT_EQ(single.at(0)["id"], 9);
}

}  // namespace
}  // namespace testbay
