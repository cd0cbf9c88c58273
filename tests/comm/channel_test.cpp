#include <gtest/gtest.h>

#include "comm/channel.h"
#include "hwt/hwt_frame_receiver.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::CountOf;
using test::ScriptedPeer;
using test::VirtualLineFixture;

const Bytes kLedCountRequest{0x68, 0x02, 0x0E, 0x00, 0x0E};
const Bytes kLedCountAnswer{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x20};

std::string ExceptionText(int channel) {
    try {
        HwtFrameReceiver receiver;
        ComTransact(channel, kLedCountRequest.data(), 5, 60, &receiver);
    } catch (const CComExeption& error) {
        return error.Message();
    }
    return "no exception";
}

class Channel : public ::testing::Test {
protected:
    int Exchange(const Bytes& request, int timeoutMs) {
        receiver_.Reset();
        return ComTransact(channel_, request.data(), static_cast<uint32_t>(request.size()), timeoutMs, &receiver_);
    }
    Bytes ReceivedFrame() const { return Bytes(receiver_.Frame(), receiver_.Frame() + receiver_.FrameCount()); }

    ScriptedPeer peer_{[](const Bytes&) { return std::vector<Bytes>{kLedCountAnswer}; }};
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    HwtFrameReceiver receiver_;
};

TEST_F(Channel, ClosedIndexIsNeverReusedAndRaisesPortGeschlossen) {
    ASSERT_GE(channel_, 0);
    ComClose(channel_);
    const int next = line_.OpenChannel();
    EXPECT_EQ(next, channel_ + 1);
    EXPECT_EQ(ExceptionText(channel_), "Port geschlossen");
    EXPECT_EQ(ExceptionText(next + 100), "Parameterfehler");
    EXPECT_EQ(ExceptionText(-1), "Parameterfehler");
    EXPECT_EQ(ComGetBaud(channel_), 0u);
    EXPECT_EQ(ComBaud(channel_, 38400), 0);
    EXPECT_EQ(ComGetPortNumber(channel_), 0);
    EXPECT_EQ(ComGetPortNumber(next), 1);
    EXPECT_EQ(ComLastChannel(), next);
    EXPECT_NE(line_.Trace().find("Schnittstelle geschlossen"), std::string::npos);
}

TEST_F(Channel, SecondOpenOfTheSamePortFails) {
    int second = 7;
    EXPECT_EQ(ComOpen(1, second), 0);
    EXPECT_EQ(second, -1);
    const int openBefore = ComOpenCount();
    ComClose(channel_);
    EXPECT_EQ(ComOpenCount(), openBefore - 1);
}

TEST_F(Channel, ExchangeDrainsStaleInputAndTracesBothDirections) {
    // A complete stale frame is waiting before the request goes out.
    line_.Line().InjectAt(0, {0x68, 0x02, 0x33, 0x00, 0x33});
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeComplete);
    EXPECT_EQ(ReceivedFrame(), kLedCountAnswer);
    EXPECT_EQ(receiver_.RawCount(), kLedCountAnswer.size());
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find(">68 02 0E 00 0E"), std::string::npos);
    EXPECT_NE(trace.find("<68 04 0E 01 01 10 20"), std::string::npos);
}

TEST_F(Channel, TimeoutIsTracedWithWhatDidArrive) {
    peer_.SetScript([](const Bytes&) { return std::vector<Bytes>{{0x68, 0x04, 0x0E}}; });
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    const int64_t elapsed = line_.Clock().NowMs() - start;
    EXPECT_GT(elapsed, 60);
    EXPECT_LE(elapsed, 62);
    const std::string trace = line_.Trace();
    const size_t timeout = trace.find("Timeout\n");
    ASSERT_NE(timeout, std::string::npos);
    EXPECT_NE(trace.find("!68 04 0E", timeout), std::string::npos);
}

TEST_F(Channel, BadChecksumIsReportedAsSuch) {
    peer_.SetScript([](const Bytes&) { return std::vector<Bytes>{{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x99}}; });
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeBadChecksum);
}

TEST_F(Channel, NoTimeLimitWaitsForTheFrame) {
    peer_.SetScript([](const Bytes&) { return std::vector<Bytes>{}; });
    line_.Line().InjectAt(5000, kLedCountAnswer);
    EXPECT_EQ(Exchange(kLedCountRequest, kNoTimeLimit), kExchangeComplete);
    EXPECT_GE(line_.Clock().NowMs(), 5000);
}

TEST_F(Channel, EmptyRequestOnlyListens) {
    line_.Line().InjectAt(10, kLedCountAnswer);
    EXPECT_EQ(Exchange({}, 60), kExchangeComplete);
    EXPECT_TRUE(line_.Line().Writes().empty());
}

TEST_F(Channel, NullReceiverOnlySends) {
    EXPECT_EQ(ComTransact(channel_, kLedCountRequest.data(), 5, 60, nullptr), kExchangeSentOnly);
    EXPECT_EQ(line_.Line().Writes().size(), 1u);
    EXPECT_EQ(line_.Clock().NowMs(), 0);
}

TEST_F(Channel, ByteCounterCountsBothDirectionsAndResets) {
    Exchange(kLedCountRequest, 60);
    EXPECT_EQ(ComTakeByteCount(channel_), 5u + 7u);
    EXPECT_EQ(ComTakeByteCount(channel_), 0u);
}

TEST_F(Channel, RelayThatNeverStopsSendingCannotHoldTheExchange) {
    // Faster than the reads: every read finds new bytes.
    peer_.SetBaud(2000000);
    line_.Line().SetFaults(sim::FaultConfig{.babble = true});
    for (const int timeoutMs : {60, 3000}) {
        const int64_t start = line_.Clock().NowMs();
        EXPECT_EQ(Exchange(kLedCountRequest, timeoutMs), kExchangeTimeout);
        EXPECT_LE(line_.Clock().NowMs() - start, 2 * timeoutMs + 1000 + 1);
        EXPECT_TRUE(receiver_.RawFull());
    }
}

TEST_F(Channel, SlowBabblerEndsAtTheFirstQuietReadPastTheDeadline) {
    line_.Line().SetFaults(sim::FaultConfig{.babble = true});
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_LE(line_.Clock().NowMs() - start, 62);
}

TEST_F(Channel, UnpluggedLineEndsByTimeoutWithoutSpinning) {
    line_.Line().Unplug();
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_GE(line_.Clock().NowMs() - start, 120);
    EXPECT_LE(line_.Clock().NowMs() - start, 130);
}

TEST_F(Channel, ComWaitSleepsInSteps) {
    VirtualClock& clock = line_.Clock();
    ComWait(channel_, 250);
    EXPECT_EQ(clock.SleepCount(), 2);
    EXPECT_EQ(clock.TotalSleptMs(), 200);
    ComWait(channel_, 100);
    EXPECT_EQ(clock.SleepCount(), 3);
    EXPECT_EQ(clock.TotalSleptMs(), 300);
    ComWait(channel_ + 50, 1000);
    EXPECT_EQ(clock.SleepCount(), 3);
}

TEST_F(Channel, ComBaudTracesAndRefusedRateKeepsTheOldOne) {
    line_.Line().RefuseBaud(153600);
    EXPECT_EQ(ComBaud(channel_, 57600), 1);
    EXPECT_EQ(ComBaud(channel_, 153600), 0);
    EXPECT_EQ(ComGetBaud(channel_), 57600u);
    EXPECT_EQ(line_.Clock().TotalSleptMs(), 20);
    const std::string trace = line_.Trace();
    EXPECT_NE(trace.find("ComBaud(57600): 1\n"), std::string::npos);
    EXPECT_NE(trace.find("ComBaud(153600): 0\n"), std::string::npos);
}

TEST_F(Channel, ParityAndStopBitsReachTheLine) {
    ComParity(channel_, kParityMark, kStopTwo);
    EXPECT_EQ(line_.Line().PcSettings().parity, kParityMark);
    EXPECT_EQ(line_.Line().PcSettings().stopBits, kStopTwo);
    ComParity(channel_, kParityEven, kStopOneAndHalf);
    EXPECT_EQ(line_.Line().PcSettings().parity, kParityMark);
    EXPECT_EQ(CountOf(line_.Trace(), "ComBaud"), 0);
}

}  // namespace
}  // namespace testbay
