#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "hwt/hwt_client.h"
#include "pages/serial_ports_page.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::VirtualLineFixture;
using Controls = SerialPortsControls;

class SerialPortsPageTest : public ::testing::Test {
protected:
    SerialPortsPageTest() { relay_.Hardware().identity.cpuType = "PBX1"; }

    // Connects at the firmware's rate and reads the page.
    void Open() {
        channel_ = line_.OpenChannel();
        ASSERT_GE(channel_, 0);
        ComBaud(channel_, sim::RelayModel::kHardwareTestStartBaud);
        client_ = std::make_unique<CHwtV4Client>(channel_);
        page_.Initialise();
    }
    void SetPortCodes(const std::vector<int32_t>& codes) {
        auto& ports = relay_.Hardware().serialPorts.ports;
        ports.assign(codes.size(), sim::RelayPort{});
        for (size_t index = 0; index < codes.size(); ++index) ports[index].id = codes[index];
    }
    // The tab of the interface with this port index.
    int TabOf(int32_t portIndex) const {
        const auto& records = page_.Records();
        for (size_t tab = 0; tab < records.size(); ++tab) {
            if (records[tab].portIndex == portIndex) return static_cast<int>(tab);
        }
        return -1;
    }
    void Bind(int32_t portIndex, int32_t channel) {
        page_.SelectTab(TabOf(portIndex));
        page_.SetProtectionTicked(true);
        const auto& choices = page_.Controls().channelChoices;
        const auto entry = std::find(choices.begin(), choices.end(), channel);
        ASSERT_NE(entry, choices.end());
        page_.ChooseChannel(static_cast<int>(entry - choices.begin()));
    }

    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    int channel_ = -1;
    std::unique_ptr<CHwtV4Client> client_;
    int64_t nowMs_ = 0;
    SerialPortsPage page_{[this] { return nowMs_; }};
};

TEST_F(SerialPortsPageTest, ListsTheFirstEightInterfacesWithoutTheHiddenTypes) {
    // Codes 1, 15, 9 and a negative one are left out; index 8 and 9 lie past the eight.
    SetPortCodes({0x00, 0x01, 0x02, 0x0F, 0x09, 0x04, 0x07, -16, 0x02, 0x00});
    Open();

    std::vector<int32_t> indices;
    for (const PortRecord& record : page_.Records()) indices.push_back(record.portIndex);
    EXPECT_EQ(indices, (std::vector<int32_t>{0, 2, 5, 6}));
    // PBX1 has sockets for slots 0 to 4 only.
    EXPECT_EQ(page_.Controls().tabLabels, (std::vector<std::string>{"Front", "Port C", "?", "?"}));
    const PortRecord& fibre = page_.Records()[3];
    EXPECT_EQ(fibre.identification, "07");
    EXPECT_STREQ(fibre.typeName, "FO7/8");
    EXPECT_EQ(fibre.baudRate, 38400);
    EXPECT_EQ(page_.FreeChannelMask(), 3u);
}

TEST_F(SerialPortsPageTest, PortIndexZeroShowsItsDataButNoTestsOrBinding) {
    Open();
    const Controls& front = page_.Controls();
    ASSERT_EQ(front.selectedTab, 0);
    EXPECT_EQ(front.portId, "00");
    EXPECT_EQ(front.typeName, "RS232");
    EXPECT_EQ(front.baudSelection, 2);  // 38400
    EXPECT_TRUE(front.baudEnabled);
    EXPECT_FALSE(front.testButtonEnabled);
    EXPECT_FALSE(front.extendedTestsEnabled);
    EXPECT_FALSE(front.protectionEnabled);
    EXPECT_FALSE(front.channelEnabled);
    EXPECT_EQ(front.channelChoices, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(front.channelSelection, 0);
    EXPECT_EQ(page_.TestButtonAction(), SerialPortsPage::TestAction::None);
    EXPECT_EQ(page_.ExtendedTestsPort(), std::nullopt);

    page_.SelectTab(1);
    EXPECT_TRUE(page_.Controls().testButtonEnabled);
    EXPECT_TRUE(page_.Controls().extendedTestsEnabled);
    EXPECT_TRUE(page_.Controls().protectionEnabled);
    EXPECT_EQ(page_.Controls().channelSelection, -1);
    EXPECT_EQ(page_.ExtendedTestsPort(), 1);
}

TEST_F(SerialPortsPageTest, BindingKeepsEachChannelWithItsInterface) {
    SetPortCodes({0x00, 0x02, 0x04, 0x00});
    Open();

    // "Select port" follows the tick; a change of tab leaves it alone unless
    // the interface cannot be bound.
    page_.SelectTab(1);
    EXPECT_FALSE(page_.Controls().channelEnabled);
    page_.SetProtectionTicked(true);
    EXPECT_TRUE(page_.Controls().channelEnabled);
    page_.SelectTab(2);
    EXPECT_TRUE(page_.Controls().channelEnabled);
    EXPECT_FALSE(page_.Controls().protectionChecked);
    page_.SelectTab(0);
    EXPECT_FALSE(page_.Controls().channelEnabled);

    Bind(1, 1);
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Success);
    EXPECT_EQ(relay_.Hardware().analog.ws[1].port, 1);
    EXPECT_EQ(page_.FreeChannelMask(), 1u);
    const Controls& bound = page_.Controls();
    EXPECT_TRUE(bound.protectionChecked);
    EXPECT_FALSE(bound.protectionEnabled);
    EXPECT_FALSE(bound.baudEnabled);
    EXPECT_FALSE(bound.extendedTestsEnabled);
    EXPECT_EQ(bound.testButtonLabel, "&Test Protection Interface ...");
    EXPECT_EQ(bound.channelChoices, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(bound.channelSelection, 1);
    EXPECT_EQ(page_.TestButtonAction(), SerialPortsPage::TestAction::ProtectionTest);
    EXPECT_EQ(page_.ProtectionTestChannel(), 1);
    EXPECT_EQ(page_.ExtendedTestsPort(), std::nullopt);

    Bind(2, 0);
    EXPECT_EQ(page_.FreeChannelMask(), 0u);
    EXPECT_EQ(page_.Controls().channelChoices, (std::vector<int32_t>{0}));

    page_.SelectTab(TabOf(3));
    EXPECT_TRUE(page_.Controls().channelChoices.empty());

    // Back on the first bound interface, its own channel is still there.
    page_.SelectTab(TabOf(1));
    EXPECT_EQ(page_.Controls().channelChoices, (std::vector<int32_t>{1}));
    EXPECT_EQ(page_.Controls().channelSelection, 0);
    // A bound interface is not bound again.
    line_.Line().ClearWrites();
    page_.ChooseChannel(0);
    EXPECT_TRUE(line_.Line().Writes().empty());
    EXPECT_EQ(page_.Records()[static_cast<size_t>(TabOf(1))].protectionChannel, 1);
}

TEST_F(SerialPortsPageTest, TestsAndRatesReportThroughTheLamp) {
    SetPortCodes({0x00, 0x02, 0x04});
    relay_.Hardware().serialPorts.ports[1].loopbackPlug = true;
    Open();

    page_.SelectTab(TabOf(1));
    ASSERT_EQ(page_.TestButtonAction(), SerialPortsPage::TestAction::SimpleTest);
    page_.RunSimpleTest();
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Success);

    page_.SelectTab(TabOf(2));
    page_.RunSimpleTest();
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Failure);

    page_.ChooseBaudrate(1);
    EXPECT_EQ(relay_.Hardware().serialPorts.ports[2].baud, 19200u);
    EXPECT_EQ(page_.Records()[static_cast<size_t>(TabOf(2))].baudRate, 19200);
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Success);
    page_.SelectTab(TabOf(1));
    page_.SelectTab(TabOf(2));
    EXPECT_EQ(page_.Controls().baudSelection, 1);
}

TEST_F(SerialPortsPageTest, WithoutInterfacesTheFirmwareVersionDecidesTheExtendedTests) {
    SetPortCodes({});
    relay_.Hardware().identity.versions[3] = "V04.08.00";
    Open();
    EXPECT_TRUE(page_.Controls().tabLabels.empty());
    EXPECT_FALSE(page_.Controls().extendedTestsEnabled);

    relay_.Hardware().identity.versions[3] = "V04.09.00";
    page_.Initialise();
    EXPECT_TRUE(page_.Controls().extendedTestsEnabled);
    // No current interface: the handlers do nothing.
    line_.Line().ClearWrites();
    page_.ChooseBaudrate(0);
    page_.ChooseChannel(0);
    page_.RunSimpleTest();
    EXPECT_TRUE(line_.Line().Writes().empty());
    EXPECT_EQ(page_.Lamp().Image(), LampImage::Resting);
}

TEST_F(SerialPortsPageTest, WithoutAClientThePageStaysEmpty) {
    page_.Initialise();
    EXPECT_TRUE(page_.Records().empty());
    EXPECT_EQ(page_.Controls().selectedTab, -1);
    EXPECT_FALSE(page_.Controls().extendedTestsEnabled);
    EXPECT_EQ(page_.TestButtonAction(), SerialPortsPage::TestAction::None);
}

TEST(ResultLampTest, FallsBackToRestTwoSecondsAfterTheLastResult) {
    ResultLamp lamp;
    EXPECT_EQ(lamp.Image(), LampImage::Resting);
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
    EXPECT_EQ(lamp.Image(), LampImage::Failure);
    EXPECT_TRUE(lamp.Expire(13500));
    EXPECT_EQ(lamp.RemainingMs(13500), -1);
}

}  // namespace
}  // namespace testbay
