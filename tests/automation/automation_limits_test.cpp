#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "automation/automation_server.h"
#include "support/answer_table.h"

namespace testbay {
namespace {

using nlohmann::json;

std::string Nested(size_t levels, const std::string& open = "[", const std::string& close = "]") {
    std::string text;
    text.reserve(levels * (open.size() + close.size()));
    for (size_t level = 0; level < levels; ++level) text += open;
    for (size_t level = 0; level < levels; ++level) text += close;
    return text;
}

std::string Request(const std::string& method, const std::string& params, const std::string& id = "1") {
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"method":")" + method + R"(","params":)" + params + "}";
}

class AutomationLimits : public ::testing::Test {
protected:
    json Reply(const std::string& line) {
        const auto reply = server_.HandleLine(line);
        return reply ? json::parse(*reply) : json();
    }
    bool Active() { return Reply(Request("IsActiv", "[]"))["result"]["return"].get<bool>(); }
    // The line is refused as a whole, with a message that names the bound.
    void ExpectRefused(const std::string& line, int code, const std::string& because) {
        const json reply = Reply(line);
        ASSERT_TRUE(reply.is_object()) << reply.dump().substr(0, 200);
        EXPECT_EQ(reply["id"], nullptr);
        EXPECT_EQ(reply["error"]["code"], code);
        EXPECT_NE(reply["error"]["message"].get<std::string>().find(because), std::string::npos)
            << reply["error"]["message"];
    }

    test::AnswerTable firmware_;
    AutomationServer server_;
};

TEST_F(AutomationLimits, NestingDeeperThanAnyMethodNeedsIsRefusedAndTheServerGoesOn) {
    const std::string deep = Nested(1000000);
    const std::string lines[] = {
        Request("GetLedCount", "[1," + deep + "]"),
        Request("NoSuchMethod", deep),
        "[" + Request("IsActiv", "[]") + "," + Request("GetLedCount", "[" + deep + "]") + "]",
        deep,
        Request("SetLevel", "[" + Nested(500000, R"({"a":[)", "]}") + "]"),
        // Unclosed: the depth shows before the end of the text does.
        Request("GetLedCount", "[" + std::string(1000000, '[')),
    };
    for (const std::string& line : lines) {
        ExpectRefused(line, -32600, "nested deeper than 32 levels");
        EXPECT_FALSE(Active());
    }
    // Up to the bound a line is still read: its parameters are merely of the wrong type.
    const json atBound = Reply("[" + Request("GetLedCount", "[" + Nested(29) + "]") + "]");
    ASSERT_TRUE(atBound.is_array());
    EXPECT_EQ(atBound[0]["error"]["code"], -32602);
    ExpectRefused("[" + Request("GetLedCount", "[" + Nested(30) + "]") + "]", -32600, "nested deeper");
}

TEST_F(AutomationLimits, ALineIsOneJsonTextSoANulOrATrailingTextMakesItUnparsable) {
    const std::string enter = R"({"jsonrpc":"2.0","method":"EnterHardwaretestAtPort","params":["",1]})";
    const std::string lines[] = {
        enter + std::string("\0garbage", 8),
        enter + std::string(1, '\0'),
        enter + std::string(" \0 ", 3),
        "[" + enter + "]" + std::string("\0]", 2),
        enter + enter,
    };
    for (const std::string& line : lines) {
        ExpectRefused(line, -32700, "Parse error");
        EXPECT_FALSE(Active());
    }
    // An escaped NUL inside a string is a character like any other.
    EXPECT_EQ(Reply(Request("Receive", R"([1,"a\u0000b",3])"))["result"]["out"][0], std::string("a\0b", 3));
    EXPECT_FALSE(Reply(enter).is_object());
    EXPECT_TRUE(Active());
}

TEST_F(AutomationLimits, BatchesAndValuesBeyondTheirBoundsAreRefusedAsAWhole) {
    const size_t most = AutomationServer::kMaxBatchRequests;
    std::string batch = "[";
    for (size_t index = 0; index < most; ++index) {
        batch += (index ? "," : "") + Request("$methods", "[]", std::to_string(index));
    }
    const json replies = Reply(batch + "]");
    ASSERT_TRUE(replies.is_array());
    ASSERT_EQ(replies.size(), most);
    EXPECT_EQ(replies.back()["id"], most - 1);
    EXPECT_EQ(replies.back()["result"].size(), 144u);

    // One more, even a notification, and nothing of the batch is carried out.
    ExpectRefused(batch + R"(,{"jsonrpc":"2.0","method":"EnterHardwaretestAtPort","params":["",1]}])", -32600,
                  "a batch holds at most 1000 requests");
    EXPECT_FALSE(Active());

    std::string numbers = "[1";
    for (size_t index = 0; index < AutomationServer::kMaxValuesPerLine; ++index) numbers += ",1";
    ExpectRefused(Request("GetLedCount", numbers + "]"), -32600, "more than 100000 values on one line");
    std::string keys = "{";
    for (size_t index = 0; index < AutomationServer::kMaxValuesPerLine / 2; ++index) {
        keys += (index ? ",\"" : "\"") + std::to_string(index) + "\":0";
    }
    ExpectRefused(Request("GetLedCount", "[" + keys + "}]"), -32600, "values on one line");
    EXPECT_EQ(Reply(Request("GetLedCount", "[]"))["result"]["return"], false);
}

}  // namespace
}  // namespace testbay
