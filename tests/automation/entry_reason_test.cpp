#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "automation/automation_methods.h"
#include "automation/automation_server.h"
#include "automation/name_suggestion.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using nlohmann::json;

std::vector<std::string_view> MethodNames() {
    std::vector<std::string_view> names;
    for (const AutomationMethod& method : AutomationMethods()) names.push_back(method.name);
    return names;
}

TEST(NameSuggestion, TheNearestMethodsWithinAFewLettersInAnyCase) {
    const std::vector<std::string_view> names = MethodNames();
    using Names = std::vector<std::string_view>;
    EXPECT_EQ(NearestNames("GetLedCont", names), Names{"GetLedCount"});
    EXPECT_EQ(NearestNames("getledcnt", names), Names{"GetLedCount"});
    EXPECT_EQ(NearestNames("GetLdeCount", names), Names{"GetLedCount"});      // two letters swapped
    EXPECT_EQ(NearestNames("SetLedd", names), (Names{"SetLeds", "SetLed"}));  // in the order of the table
    EXPECT_EQ(NearestNames("Rset", names), Names{"Reset"});
    EXPECT_EQ(NearestNames("GetLastError", names), Names{});  // four letters short of GetLastErrorText
    EXPECT_EQ(NearestNames("Nope", names), Names{});
    EXPECT_EQ(NearestNames(std::string(100000, 'x'), names), Names{});
    EXPECT_EQ(NearestNames("ab", {"ac", "ad", "ae", "af"}), (Names{"ac", "ad", "ae"}));
}

TEST(NameSuggestion, TheMessageNamesTheNameAndAsksAboutTheNearestOnes) {
    EXPECT_EQ(UnknownNameText("GetLedCont", {"GetLedCount"}), "Unknown name \"GetLedCont\"; did you mean GetLedCount?");
    EXPECT_EQ(UnknownNameText("SetLedd", {"SetLed", "SetLeds"}),
              "Unknown name \"SetLedd\"; did you mean SetLed or SetLeds?");
    EXPECT_EQ(UnknownNameText("x", {"a", "b", "c"}), "Unknown name \"x\"; did you mean a, b or c?");
    EXPECT_EQ(UnknownNameText("Nope", {}), "Unknown name \"Nope\"");
    EXPECT_EQ(UnknownNameText(std::string(70, 'y'), {}), "Unknown name \"" + std::string(64, 'y') + "...\"");
}

// The server over the in-memory line, telling failed entries on its diagnostics.
class EntryReason : public ::testing::Test {
protected:
    json Call(const std::string& method, json params = json::array()) {
        const json request{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
        return json::parse(server_.HandleLine(request.dump()).value());
    }

    sim::RelayModel relay_;
    test::VirtualLineFixture line_{relay_};
    std::ostringstream diagnostics_;
    AutomationServer server_{&diagnostics_};
};

TEST_F(EntryReason, ASilentRelaysEntryTellsTheStatesAndRatesTriedEverywhere) {
    EXPECT_EQ(Call("GetLastErrorText")["result"]["return"], "");
    line_.Line().SetFaults({.silent = true});
    const json result = Call("EnterHardwaretestAtPort", {"", 1})["result"];
    EXPECT_EQ(result["return"], false);
    EXPECT_EQ(result["out"], json::array());
    const std::string reason = result["reason"];
    EXPECT_EQ(reason,
              "no answer from the relay on COM1 in any state; tried the hardware test at 38400, 57600, 115200, 153600 "
              "bit/s without parity, the boot system at 38400, 57600, 115200, 153600, 230400, 460800 bit/s and the "
              "application at 38400, 57600, 115200, 19200, 9600, 4800 bit/s with even and without parity (is the "
              "relay on and the cable in?)");
    EXPECT_EQ(diagnostics_.str(), "testbay: EnterHardwaretestAtPort: " + reason + "\n");
    EXPECT_TRUE(line_.Traced("EnterHardwaretest: " + reason));
    EXPECT_EQ(Call("GetLastErrorText")["result"]["return"], reason);
    // Told once: the next reply carries no reason, GetLastErrorText still has it.
    EXPECT_FALSE(Call("IsActiv")["result"].contains("reason"));
    EXPECT_EQ(Call("GetLastErrorText")["result"]["return"], reason);

    // A port that the document's earlier connection still holds; then an entry that works.
    line_.Line().SetFaults({});
    ASSERT_EQ(Call("ExitHardwaretest")["result"]["return"], true);
    ASSERT_EQ(Call("EnterHardwaretest", {""})["result"]["return"], true);
    EXPECT_EQ(Call("GetLastErrorText")["result"]["return"], "");
    const json busy = Call("EnterHardwaretest", {""})["result"];
    EXPECT_EQ(busy["return"], false);
    EXPECT_EQ(busy["reason"], "cannot open COM1");
    EXPECT_EQ(Call("ExitHardwaretest")["result"], (json{{"return", true}, {"out", json::array()}}));
}

TEST_F(EntryReason, AMisspeltNameIsNamedWithTheNearestNamesAndKeepsItsCode) {
    const json error = Call("GetLedCont")["error"];
    EXPECT_EQ(error["code"], -32601);
    EXPECT_EQ(error["message"], "Unknown name \"GetLedCont\"; did you mean GetLedCount?");
    EXPECT_EQ(Call("Nope")["error"]["message"], "Unknown name \"Nope\"");
}

}  // namespace
}  // namespace testbay
