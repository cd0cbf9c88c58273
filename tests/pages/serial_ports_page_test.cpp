#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "pages/serial_ports_page.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using Channels = std::vector<int32_t>;

// A window that notes what the page asks of it.
struct RecordingWindow : SerialPortsWindow {
    void ShowPage() override { ++shown; }
    void RunBusy(const std::function<void()>& work) override {
        ++busy;
        work();
    }
    void OpenProtectionTest(int32_t channel) override { protectionTests.push_back(channel); }
    void OpenExtendedTests(int32_t portIndex) override { extendedTests.push_back(portIndex); }

    int shown = 0;
    int busy = 0;
    Channels protectionTests;
    std::vector<int32_t> extendedTests;
};

class SerialPortsPageTest : public ::testing::Test {
protected:
    SerialPortsPageTest() { relay_.Hardware().identity.cpuType = "PBX1"; }

    // Gives the relay ports of these type codes, connects at the firmware's
    // rate and reads the page. By default every tab shows the port of its number.
    void Open(const std::vector<int32_t>& codes = {0x00, 0x02, 0x04, 0x00}) {
        auto& ports = relay_.Hardware().serialPorts.ports;
        ports.assign(codes.size(), sim::RelayPort{});
        for (size_t index = 0; index < codes.size(); ++index) ports[index].id = codes[index];
        channel_ = line_.OpenChannel();
        ASSERT_GE(channel_, 0);
        ComBaud(channel_, kHwtStartBaud);
        client_ = std::make_unique<CHwtV4Client>(channel_);
        page_.Initialise();
    }
    void Bind(int tab, int32_t channel) {
        page_.SelectTab(tab);
        page_.SetProtectionTicked(true);
        const auto& choices = page_.Controls().channelChoices;
        const auto entry = std::find(choices.begin(), choices.end(), channel);
        ASSERT_NE(entry, choices.end());
        page_.ChooseChannel(static_cast<int>(entry - choices.begin()));
    }

    sim::RelayModel relay_;
    test::VirtualLineFixture line_{relay_};
    int channel_ = -1;
    std::unique_ptr<CHwtV4Client> client_;
    SerialPortsPage page_;
    RecordingWindow window_;
};

TEST_F(SerialPortsPageTest, ListsTheFirstEightInterfacesWithoutTheHiddenTypes) {
    // Codes 1, 15, 9 and a negative one are left out; index 8 and 9 lie past the eight.
    Open({0x00, 0x01, 0x02, 0x0F, 0x09, 0x04, 0x07, -16, 0x02, 0x00});
    std::vector<int32_t> indices;
    for (const PortRecord& record : page_.Records()) indices.push_back(record.portIndex);
    EXPECT_EQ(indices, (std::vector<int32_t>{0, 2, 5, 6}));
    // PBX1 has sockets for slots 0 to 4 only.
    EXPECT_EQ(page_.Controls().tabLabels, (std::vector<std::string>{"Front", "Port C", "?", "?"}));
}

TEST_F(SerialPortsPageTest, PortIndexZeroHasNoTestsOrBindingTheNextHas) {
    Open();
    const SerialPortsControls& front = page_.Controls();
    ASSERT_EQ(front.selectedTab, 0);
    EXPECT_EQ(front.baudSelection, 2);  // 38400
    EXPECT_TRUE(front.baudEnabled);
    EXPECT_FALSE(front.testButtonEnabled || front.extendedTestsEnabled || front.protectionEnabled);
    line_.Line().ClearWrites();
    page_.PressTestButton(window_);
    page_.PressExtendedTests(window_);
    EXPECT_TRUE(line_.Line().Writes().empty());
    EXPECT_EQ(window_.busy, 0);
    EXPECT_TRUE(window_.extendedTests.empty());
    EXPECT_EQ(window_.shown, 2);

    // The others have both; results and rate changes show in the lamp. The
    // simple test runs under the window's wait cursor.
    page_.SelectTab(1);
    EXPECT_TRUE(page_.Controls().testButtonEnabled && page_.Controls().protectionEnabled);
    page_.PressExtendedTests(window_);
    EXPECT_EQ(window_.extendedTests, std::vector<int32_t>{1});
    page_.PressTestButton(window_);  // no test plug
    EXPECT_EQ(window_.busy, 1);
    EXPECT_TRUE(window_.protectionTests.empty());
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Failure);
    page_.ChooseBaudrate(1);
    EXPECT_EQ(relay_.Hardware().serialPorts.ports[1].baud, 19200u);
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Success);

    // A relay that no longer answers leaves no FAIL status, yet nothing was set.
    sim::FaultConfig silent;
    silent.silent = true;
    line_.Line().SetFaults(silent);
    page_.ChooseBaudrate(4);
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Failure);
}

TEST_F(SerialPortsPageTest, BindingKeepsEachChannelWithItsInterface) {
    Open();

    Bind(1, 1);
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Success);
    EXPECT_EQ(relay_.Hardware().analog.ws[1].port, 1);
    EXPECT_FALSE(page_.Controls().protectionEnabled || page_.Controls().baudEnabled);
    EXPECT_EQ(page_.Controls().testButtonLabel, SerialPortsPage::kProtectionTestLabel);
    // Bound, the test button opens the protection-interface test on its
    // channel, and the extended tests stay shut.
    line_.Line().ClearWrites();
    page_.PressTestButton(window_);
    page_.PressExtendedTests(window_);
    EXPECT_EQ(window_.protectionTests, Channels{1});
    EXPECT_TRUE(window_.extendedTests.empty());
    EXPECT_EQ(window_.busy, 0);
    EXPECT_TRUE(line_.Line().Writes().empty());

    Bind(2, 0);
    EXPECT_EQ(page_.FreeChannelMask(), 0u);
    EXPECT_EQ(page_.Controls().channelChoices, Channels{0});
    page_.SelectTab(3);
    EXPECT_TRUE(page_.Controls().channelChoices.empty());

    // Back on the first bound interface, its own channel is still there and
    // is not bound again.
    page_.SelectTab(1);
    EXPECT_EQ(page_.Controls().channelChoices, Channels{1});
    EXPECT_EQ(page_.Controls().channelSelection, 0);
    line_.Line().ClearWrites();
    page_.ChooseChannel(0);
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_F(SerialPortsPageTest, WithoutInterfacesTheFirmwareVersionDecidesTheExtendedTests) {
    page_.Initialise();  // without a client
    EXPECT_TRUE(page_.Records().empty());
    relay_.Hardware().identity.versions[3] = "V04.08.00";
    Open({});
    EXPECT_FALSE(page_.Controls().extendedTestsEnabled);
    relay_.Hardware().identity.versions[3] = "V04.09.00";
    page_.Initialise();
    EXPECT_TRUE(page_.Controls().extendedTestsEnabled);

    // No current interface: the handlers do nothing.
    line_.Line().ClearWrites();
    page_.ChooseBaudrate(0);
    page_.ChooseChannel(0);
    page_.PressTestButton(window_);
    page_.PressExtendedTests(window_);
    EXPECT_TRUE(line_.Line().Writes().empty());
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Resting);
    EXPECT_EQ(window_.busy + window_.protectionTests.size() + window_.extendedTests.size(), 0u);
}

TEST_F(SerialPortsPageTest, ALineThatWentAwayEndsTheHandlerWithTheFailureLamp) {
    Open();
    page_.SelectTab(1);
    ComClose(channel_);
    page_.PressTestButton(window_);
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Failure);
    EXPECT_EQ(window_.shown, 1);

    // Other exceptions are no line failure: they pass, and the lamp says nothing.
    SerialPortsPage other;
    EXPECT_THROW(other.Guarded(window_, [] { throw std::runtime_error("not the line"); }), std::runtime_error);
    EXPECT_EQ(other.Lamp().Image(), LampImage::Resting);
}

TEST(ResultLampTest, FallsBackToRestTwoSecondsAfterTheLastResult) {
    ResultLamp lamp;
    EXPECT_EQ(lamp.RemainingMs(0), -1);
    lamp.Show(1, 1000);
    EXPECT_EQ(lamp.Image(), LampImage::Success);
    EXPECT_FALSE(lamp.Expire(2999));
    EXPECT_TRUE(lamp.Expire(3000));
    EXPECT_EQ(lamp.Image(), LampImage::Resting);
    EXPECT_FALSE(lamp.Expire(3001));

    // Any result but 1 is a failure; a new result restarts the full period.
    lamp.Show(0, 10000);
    lamp.Show(2, 11500);
    EXPECT_EQ(lamp.Image(), LampImage::Failure);
    EXPECT_EQ(lamp.RemainingMs(12000), 1500);
    EXPECT_FALSE(lamp.Expire(12000));
    EXPECT_TRUE(lamp.Expire(13500));
    EXPECT_EQ(lamp.RemainingMs(13500), -1);
}

}  // namespace
}  // namespace testbay
