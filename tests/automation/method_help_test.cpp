#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <cctype>
#include <set>
#include <string>

#include "automation/automation_methods.h"
#include "automation/automation_server.h"

namespace testbay {
namespace {

using nlohmann::json;

bool IsParameterName(const std::string& name) {
    if (name.empty() || !std::islower(static_cast<unsigned char>(name[0]))) return false;
    for (const char letter : name) {
        if (!std::isalnum(static_cast<unsigned char>(letter))) return false;
    }
    return true;
}

// Scripts name a method's parameters after the table: one name per parameter,
// each a word a script language can take, none twice in one method.
TEST(AutomationMethodHelp, EveryParameterHasANameOfItsOwn) {
    for (const AutomationMethod& method : AutomationMethods()) {
        if (method.params.empty()) continue;
        ASSERT_EQ(method.paramNames.size(), method.params.size()) << method.name;
        std::set<std::string> seen;
        for (const char* name : method.paramNames) {
            EXPECT_TRUE(IsParameterName(name)) << method.name << ": " << name;
            EXPECT_TRUE(seen.insert(name).second) << method.name << ": " << name;
        }
    }
}

TEST(AutomationMethodHelp, TheMethodListCarriesNamesAndSummaries) {
    AutomationServer server;
    const auto reply = server.HandleLine(R"({"jsonrpc":"2.0","id":1,"method":"$methods"})");
    ASSERT_TRUE(reply);
    const json list = json::parse(*reply)["result"];
    ASSERT_EQ(list.size(), AutomationMethods().size());
    const json& getLed = list.at(9);
    EXPECT_EQ(getLed["name"], "GetLed");
    EXPECT_EQ(getLed["names"], json::array({"led", "on"}));
    EXPECT_EQ(getLed["summary"], "Reads whether one LED is lit.");
    EXPECT_EQ(list.at(1)["names"], json::array());
    for (const json& entry : list) EXPECT_EQ(entry["names"].size(), entry["params"].size()) << entry["name"];
}

}  // namespace
}  // namespace testbay
