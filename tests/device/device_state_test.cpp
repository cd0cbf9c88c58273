#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "device/device_state.h"
#include "device/enter_hardwaretest.h"
#include "hwt/hwt_client.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::CountOf;

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

// The clock reading of the first (or last) trace entry that starts with `entry`.
int64_t StampOf(const std::string& trace, const std::string& entry, bool last) {
    const size_t at = last ? trace.rfind("\n" + entry) : trace.find("\n" + entry);
    if (at == std::string::npos) return -1;
    const size_t stamp = trace.rfind("t=", at);
    return stamp == std::string::npos ? -1 : std::stoll(trace.substr(stamp + 2, at - stamp - 2));
}

template <uint32_t kStartState>
class RelayIn : public ::testing::Test {
protected:
    sim::RelayModel relay_{sim::RelayConfig{.startState = kStartState}};
    test::VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
};
using DeviceState = RelayIn<3>;
using InApplication = RelayIn<2>;
using InBootSystem = RelayIn<1>;

TEST_F(DeviceState, SilentRelayIsProbedInTheHintsOrderAndWaitedForFifteenTimes) {
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

    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(WaitHwt(channel_), 1);
    EXPECT_GE(line_.Clock().NowMs() - start, 15 * 300);
    EXPECT_EQ(ComGetBaud(channel_), 38400u);
    EXPECT_TRUE(line_.Traced("WaitHwt() 1\n"));

    CHwtV4Client client(channel_);
    EXPECT_EQ(EnterHardwaretest(client), 0);
    EXPECT_EQ(client.KnownDeviceState(), 4u);
}

TEST_F(DeviceState, FromThreeOrFourNothingIsSent) {
    EXPECT_EQ(SetDeviceState(channel_, 3, 3, 1, 0), 3u);
    EXPECT_EQ(ProbeOrder(line_.Line()), "H");
    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 4, 3, 1, 0), 4u);
    // Found the hardware test, which is not what a change from nowhere wants.
    EXPECT_EQ(ProbeOrder(line_.Line()), "BAHBAH");
}

TEST_F(InApplication, HintThreeFindsTheApplicationLastAndTheChangeIsVerified) {
    uint32_t state = 3;
    EXPECT_EQ(GetDeviceState(channel_, state), 0);
    EXPECT_EQ(state, 2u);
    EXPECT_EQ(ProbeOrder(line_.Line()), "HBA");
    EXPECT_TRUE(line_.Traced("Application active\n"));
    EXPECT_TRUE(line_.Traced("GetDeviceState -> 0\n"));

    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 2, 3, 1, 0), 3u);
    EXPECT_EQ(line_.Line().Writes()[0].bytes, (test::Bytes{0x10, 0x41, 0x00, 0x41, 0x16}));
    EXPECT_EQ(ProbeOrder(line_.Line()), "AH");
    EXPECT_TRUE(line_.Traced("App -> Hwt\n"));
}

TEST_F(InApplication, RestartTooSlowForWaitHwtIsUnconfirmedEvenThoughTheHardwareTestAnswersLater) {
    // The relay is back in the hardware test only after WaitHwt has given up,
    // while the first look after it probes the application.
    relay_.Config().applicationToHardwareTestMs = 8000;
    uint32_t state = 2;
    ASSERT_EQ(GetDeviceState(channel_, state), 0);
    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 2, 3, 1, 0), 4u);
    // The restart request went out as the application listens, and was heard.
    const sim::MemoryLine::Written& restart = line_.Line().Writes()[0];
    EXPECT_EQ(restart.bytes, (test::Bytes{0x10, 0x41, 0x00, 0x41, 0x16}));
    EXPECT_EQ(restart.settings.baud, relay_.Config().applicationLine.baud);
    EXPECT_EQ(restart.settings.parity, relay_.Config().applicationLine.parity);
    EXPECT_EQ(relay_.State(), 3u);
    // Both looks find the hardware test; neither counts.
    EXPECT_EQ(ProbeOrder(line_.Line()), "AHBAHBAH");
    EXPECT_TRUE(line_.Traced("WaitHwt() 1\n"));
    EXPECT_EQ(CountOf(line_.Trace(), "HWT active\n"), 2);
    EXPECT_TRUE(line_.Traced("SetDeviceState -> 4\n"));
}

TEST_F(InBootSystem, FromBootTheHardwareTestAnswersWithoutVerification) {
    uint32_t state = 4;
    ASSERT_EQ(GetDeviceState(channel_, state), 0);
    ASSERT_EQ(state, 1u);
    line_.Line().ClearWrites();
    EXPECT_EQ(SetDeviceState(channel_, 1, 3, 1, 0), 3u);
    EXPECT_EQ(ProbeOrder(line_.Line()), "BH");
    EXPECT_EQ(relay_.State(), 3u);
    EXPECT_TRUE(line_.Traced("Boot -> Hwt\n"));
    EXPECT_TRUE(line_.Traced("WaitHwt() 0\n"));
    EXPECT_TRUE(line_.Traced("SetDeviceState -> 3\n"));
}

class BootSystemFallback : public DeviceState {
protected:
    void SetUp() override {
        relay_.Hardware().identity.writesIdentity = false;
        ASSERT_EQ(client_.FindBaudrate(), 0);
    }
    // Runs a write and checks its result and its two waits as the trace shows
    // them: from the restart request to the rate change before the boot system
    // (10 ms of which settle the rate), and from the rate change after it to
    // the end of the call.
    void ExpectFallback(const std::function<int()>& write, int result, int64_t waitBeforeMs, int64_t waitAfterMs) {
        const size_t before = line_.Trace().size();
        EXPECT_EQ(write(), result);
        const int64_t end = line_.Clock().NowMs();
        const std::string trace = line_.Trace().substr(before);
        const int64_t restart = StampOf(trace, "CHwtV4Client::Reset\n", false);
        const int64_t waitedBefore = StampOf(trace, "ComBaud(38400): ", false) - restart - 10;
        const int64_t waitedAfter = end - StampOf(trace, "ComBaud(38400): ", true);
        EXPECT_GE(waitedBefore, waitBeforeMs);
        EXPECT_LE(waitedBefore, waitBeforeMs + 1);
        EXPECT_GE(waitedAfter, waitAfterMs);
        EXPECT_LE(waitedAfter, waitAfterMs + 1);
    }

    CHwtV4Client client_{channel_};
};

TEST_F(BootSystemFallback, OrderAndSerialNumberGoThroughTheBootSystemEachWithItsOwnWaits) {
    ExpectFallback([this] { return client_.SetMLFB("QR9031-5TC90-1MA0"); }, 1, 4000, 1000);
    EXPECT_EQ(relay_.State(), 3u);
    ExpectFallback([this] { return client_.SetSrialNumber("TQ2711112222"); }, 1, 2000, 4000);
    EXPECT_EQ(relay_.State(), 3u);
    EXPECT_EQ(relay_.Hardware().identity.mlfb, "QR9031-5TC90-1MA0");
    EXPECT_EQ(relay_.Hardware().identity.serialNumber, "TQ2711112222");
    EXPECT_TRUE(line_.Traced("CV4Update::SetBFNr -> 0 \n"));
}

// A boot system that answers NAK to everything, even to the restart out of it,
// fails the order number; the serial number is reported written regardless.
TEST_F(BootSystemFallback, BootSystemAnsweringNakFailsTheOrderNumberButNotTheSerialNumber) {
    relay_.Config().bootNakEvery = 1;
    const sim::IdentityState identity = relay_.Hardware().identity;
    ExpectFallback([this] { return client_.SetSrialNumber("TQ2799998888"); }, 1, 2000, 4000);
    EXPECT_EQ(relay_.State(), 1u);

    // Switched off and on again, it starts in the hardware test once more.
    relay_.RestartInto(3);
    line_.Clock().AdvanceTo(line_.Clock().NowMs() + relay_.Config().hardwareTestRestartMs);
    ASSERT_EQ(client_.FindBaudrate(), 0);
    ExpectFallback([this] { return client_.SetMLFB("X"); }, 0, 4000, 1000);
    EXPECT_EQ(relay_.State(), 1u);
    EXPECT_EQ(relay_.Hardware().identity.serialNumber, identity.serialNumber);
    EXPECT_EQ(relay_.Hardware().identity.mlfb, identity.mlfb);
}

}  // namespace
}  // namespace testbay
