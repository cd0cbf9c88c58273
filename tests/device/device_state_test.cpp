#include <gtest/gtest.h>

#include "device/device_state.h"
#include "hwt/hwt_client.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::CountOf;
using test::VirtualLineFixture;

// The protocols the PC spoke, in order, one letter per run of telegrams:
// B boot system, A application, H hardware test.
std::string ProbeOrder(const sim::MemoryLine& line) {
    std::string order;
    for (const auto& written : line.Writes()) {
        const uint8_t start = written.bytes[0];
        const char protocol = start == 0x11 || start == 0x12 ? 'B' : start == 0x10 ? 'A' : 'H';
        if (order.empty() || order.back() != protocol) order.push_back(protocol);
    }
    return order;
}

class DeviceState : public ::testing::Test {
protected:
    explicit DeviceState(uint32_t startState = 3) : relay_(sim::RelayConfig{.startState = startState}) {}

    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
};

class InBootSystem : public DeviceState {
protected:
    InBootSystem() : DeviceState(1) {}
};
class InApplication : public DeviceState {
protected:
    InApplication() : DeviceState(2) {}
};

TEST_F(DeviceState, EachHintSetsTheProbeOrderOfASilentRelay) {
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    const std::pair<uint32_t, const char*> cases[] = {{4, "BAH"}, {1, "BAH"}, {2, "AHB"}, {3, "HBA"}};
    for (const auto& [hint, order] : cases) {
        line_.Line().ClearWrites();
        uint32_t state = hint;
        EXPECT_EQ(GetDeviceState(channel_, state), 4);
        EXPECT_EQ(state, 4u);
        EXPECT_EQ(ProbeOrder(line_.Line()), order) << "hint " << hint;
    }
    EXPECT_EQ(CountOf(line_.Trace(), "GetDeviceState -> 4\n"), 4);
}

TEST_F(InApplication, HintThreeFindsTheApplicationLast) {
    uint32_t state = 3;
    EXPECT_EQ(GetDeviceState(channel_, state), 0);
    EXPECT_EQ(state, 2u);
    EXPECT_EQ(ProbeOrder(line_.Line()), "HBA");
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find("Application active\n"), std::string::npos);
    EXPECT_NE(trace.find("GetDeviceState -> 0\n"), std::string::npos);
}

TEST_F(InBootSystem, FromBootTheHardwareTestAnswersWithoutVerification) {
    uint32_t state = 4;
    ASSERT_EQ(GetDeviceState(channel_, state), 0);
    ASSERT_EQ(state, 1u);
    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 1, 3, 1, 0), 3u);
    EXPECT_EQ(ProbeOrder(line_.Line()), "BH");
    EXPECT_EQ(relay_.State(), 3u);
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find("Boot -> Hwt\n"), std::string::npos);
    EXPECT_NE(trace.find("WaitHwt() 0\n"), std::string::npos);
    EXPECT_NE(trace.find("SetDeviceState -> 3\n"), std::string::npos);
}

TEST_F(InApplication, FromApplicationTheChangeIsVerified) {
    uint32_t state = 2;
    ASSERT_EQ(GetDeviceState(channel_, state), 0);
    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 2, 3, 1, 0), 3u);
    EXPECT_EQ(line_.Line().Writes()[0].bytes, (test::Bytes{0x10, 0x41, 0x00, 0x41, 0x16}));
    EXPECT_EQ(ProbeOrder(line_.Line()), "AH");
    EXPECT_NE(line_.Trace().find("App -> Hwt\n"), std::string::npos);
}

TEST_F(InApplication, ApplicationThatDoesNotRestartIsUnconfirmedAfterTwoLooks) {
    relay_.Config().applicationToHardwareTestMs = 60000;
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(SetDeviceState(channel_, 2, 3, 1, 0), 4u);
    EXPECT_GE(line_.Clock().NowMs() - start, 15 * 300);
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find("WaitHwt() 1\n"), std::string::npos);
    EXPECT_EQ(CountOf(trace, "GetDeviceState -> "), 2);
    EXPECT_NE(trace.find("SetDeviceState -> 4\n"), std::string::npos);
}

TEST_F(DeviceState, FromThreeOrFourNothingIsSent) {
    EXPECT_EQ(SetDeviceState(channel_, 3, 3, 1, 0), 3u);
    EXPECT_EQ(ProbeOrder(line_.Line()), "H");
    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 4, 3, 1, 0), 4u);
    // Found the hardware test, which is not what a change from nowhere wants.
    EXPECT_EQ(ProbeOrder(line_.Line()), "BAHBAH");
}

TEST_F(DeviceState, WaitHwtGivesUpAfterFifteenTries) {
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(WaitHwt(channel_), 1);
    EXPECT_GE(line_.Clock().NowMs() - start, 15 * 300);
    EXPECT_EQ(ComGetBaud(channel_), 38400u);
    EXPECT_NE(line_.Trace().find("WaitHwt() 1\n"), std::string::npos);
}

class EnterFrom : public ::testing::TestWithParam<uint32_t> {};

TEST_P(EnterFrom, AnyStateEndsInTheHardwareTestAndRemembersWhereItStarted) {
    sim::RelayModel relay(sim::RelayConfig{.startState = GetParam(), .hardwareTestLine = {115200, kParityNone, kStopOne}});
    VirtualLineFixture line(relay);
    CHwtV4Client client(line.OpenChannel());
    EXPECT_EQ(client.EnterHardwaretest(), 1);
    EXPECT_EQ(client.KnownDeviceState(), GetParam());
    EXPECT_EQ(relay.State(), 3u);
    int32_t count = 0;
    EXPECT_EQ(client.GetLedCount(count), 1);
}

INSTANTIATE_TEST_SUITE_P(States, EnterFrom, ::testing::Values(1u, 2u, 3u));

TEST(EnterHardwaretest, SilentLineFailsWithUnknownState) {
    sim::RelayModel relay;
    VirtualLineFixture line(relay, sim::FaultConfig{.silent = true});
    CHwtV4Client client(line.OpenChannel());
    EXPECT_EQ(client.EnterHardwaretest(), 0);
    EXPECT_EQ(client.KnownDeviceState(), 4u);
}

}  // namespace
}  // namespace testbay

namespace testbay {
namespace {

class OldFirmware : public ::testing::Test {
protected:
    OldFirmware() { relay_.Hardware().identity.writesIdentity = false; }

    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    CHwtV4Client client_{line_.OpenChannel()};
};

TEST_F(OldFirmware, OrderAndSerialNumbersGoThroughTheBootSystem) {
    ASSERT_EQ(client_.FindBaudrate(), 0);
    EXPECT_EQ(client_.SetMLFB("7SJ8031-5EC90-1FA0"), 1);
    EXPECT_EQ(relay_.Hardware().identity.mlfb, "7SJ8031-5EC90-1FA0");
    EXPECT_EQ(relay_.State(), 3u);
    ASSERT_EQ(client_.FindBaudrate(), 0);
    std::string mlfb;
    EXPECT_EQ(client_.GetMLFB(mlfb), 1);
    EXPECT_EQ(mlfb, "7SJ8031-5EC90-1FA0");

    EXPECT_EQ(client_.SetSrialNumber("BF0811112222"), 1);
    EXPECT_EQ(relay_.Hardware().identity.serialNumber, "BF0811112222");
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find("CV4Update::SetMlfb -> 0 \n"), std::string::npos);
    EXPECT_NE(trace.find("CV4Update::SetBFNr -> 0 \n"), std::string::npos);
}

TEST_F(OldFirmware, BootSystemThatNeverAnswersFailsTheOrderNumber) {
    ASSERT_EQ(client_.FindBaudrate(), 0);
    relay_.Config().bootNakEvery = 1;
    EXPECT_EQ(client_.SetMLFB("X"), 0);
    // Even its restart request was refused: the relay stays in the boot system.
    EXPECT_EQ(relay_.State(), 1u);
    EXPECT_NE(relay_.Hardware().identity.mlfb, "X");
}

}  // namespace
}  // namespace testbay
