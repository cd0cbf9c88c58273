#include <gtest/gtest.h>

#include <functional>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "hwt/hwt_frame_receiver.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;

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
    int64_t Now() { return line_.Clock().NowMs(); }
    std::string Trace() const { return line_.Trace(); }
    void Answer(std::vector<Bytes> answers) {
        peer_.SetScript([answers](const Bytes&) { return answers; });
    }

    test::ScriptedPeer peer_{[](const Bytes&) { return std::vector<Bytes>{kLedCountAnswer}; }};
    test::VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    HwtFrameReceiver receiver_;
};

TEST_F(Channel, OpenIsExclusiveAndAClosedIndexIsNeverReusedAndRaisesPortGeschlossen) {
    int second = 7;
    EXPECT_EQ(ComOpen(1, second), 0);
    EXPECT_EQ(second, -1);
    const int openBefore = ComOpenCount();
    ComClose(channel_);
    EXPECT_EQ(ComOpenCount(), openBefore - 1);
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
    EXPECT_TRUE(line_.Traced("Schnittstelle geschlossen"));
}

TEST_F(Channel, ExchangeDrainsStaleInputTracesAndCountsBothDirections) {
    // A complete stale frame is waiting before the request goes out.
    line_.Line().InjectAt(0, {0x68, 0x02, 0x33, 0x00, 0x33});
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeComplete);
    EXPECT_EQ(Bytes(receiver_.Frame(), receiver_.Frame() + receiver_.FrameCount()), kLedCountAnswer);
    EXPECT_EQ(receiver_.RawCount(), kLedCountAnswer.size());
    EXPECT_TRUE(line_.Traced(">68 02 0E 00 0E"));
    EXPECT_TRUE(line_.Traced("<68 04 0E 01 01 10 20"));
    EXPECT_EQ(ComTakeByteCount(channel_), 5u + 5u + 7u);  // the drained frame crossed the line too
    EXPECT_EQ(ComTakeByteCount(channel_), 0u);
}

TEST_F(Channel, TimeoutBadSumNoTimeLimitNullReceiverAndEmptyRequestEachEndTheExchangeTheirWay) {
    Answer({{0x68, 0x04, 0x0E}});
    const int64_t start = Now();
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_GT(Now() - start, 60);
    EXPECT_LE(Now() - start, 62);
    const size_t timeout = Trace().find("Timeout\n");
    ASSERT_NE(timeout, std::string::npos);
    EXPECT_NE(Trace().find("!68 04 0E", timeout), std::string::npos);

    Answer({{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x99}});
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeBadChecksum);

    Answer({});
    line_.Line().InjectAt(5000, kLedCountAnswer);
    EXPECT_EQ(Exchange(kLedCountRequest, kNoTimeLimit), kExchangeComplete);
    const int64_t waited = Now();
    EXPECT_GE(waited, 5000);

    line_.Line().ClearWrites();
    EXPECT_EQ(ComTransact(channel_, kLedCountRequest.data(), 5, 60, nullptr), kExchangeSentOnly);
    EXPECT_EQ(line_.Line().Writes().size(), 1u);
    EXPECT_EQ(Now(), waited);

    line_.Line().ClearWrites();
    line_.Line().InjectAt(Now() + 10, kLedCountAnswer);
    EXPECT_EQ(Exchange({}, 60), kExchangeComplete);
    EXPECT_TRUE(line_.Line().Writes().empty());
}

// A send-only telegram leaves its name and its request in the trace: neither a
// time-out from a silent relay nor the answer of a relay that answers anyway.
TEST_F(Channel, SendOnlyTelegramsTraceTheirRequestAndNothingElse) {
    CHwtV4Client client(channel_);
    const std::pair<const char*, std::function<int()>> commands[] = {
        {"CHwtV4Client::Reset", [&client] { return client.Reset(2); }},
        {"CHwtV4Client::Jump", [&client] { return client.Jump(0x12345678); }},
    };
    for (const bool relayAnswers : {false, true}) {
        Answer(relayAnswers ? std::vector<Bytes>{kLedCountAnswer} : std::vector<Bytes>{});
        for (const auto& [name, send] : commands) {
            const std::string before = Trace();
            const std::string time = "t=" + std::to_string(Now()) + "\n";
            line_.Line().ClearWrites();
            EXPECT_EQ(send(), 1) << name;
            ASSERT_EQ(line_.Line().Writes().size(), 1u) << name;
            const Bytes& request = line_.Line().Writes()[0].bytes;
            EXPECT_EQ(Trace().substr(before.size()),
                      time + name + "\n" + time + HexDumpLine(request.data(), request.size(), '>') + "\n")
                << (relayAnswers ? "answering relay" : "silent relay");
            line_.Clock().AdvanceTo(Now() + 100);  // past any late answer
        }
    }
}

TEST_F(Channel, NeitherANeverStoppingRelayNorAnUnpluggedLineCanHoldTheExchange) {
    line_.Line().SetFaults(sim::FaultConfig{.babble = true});
    // A slow babbler ends at the first quiet read past the deadline.
    int64_t start = Now();
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_LE(Now() - start, 62);
    // Faster than the reads: every read finds new bytes.
    peer_.SetBaud(2000000);
    for (const int timeoutMs : {60, 3000}) {
        start = Now();
        EXPECT_EQ(Exchange(kLedCountRequest, timeoutMs), kExchangeTimeout);
        EXPECT_LE(Now() - start, 2 * timeoutMs + 1000 + 1);
        EXPECT_TRUE(receiver_.RawFull());
    }
    // An unplugged line ends by the time-out without spinning.
    line_.Line().Unplug();
    start = Now();
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_EQ(Exchange(kLedCountRequest, 60), kExchangeTimeout);
    EXPECT_GE(Now() - start, 120);
    EXPECT_LE(Now() - start, 130);
}

TEST_F(Channel, ComWaitSleepsInWholeStepsAndRefusedRateOrStopBitsKeepTheOldSettings) {
    ComWait(channel_, 250);
    ComWait(channel_, 100);
    ComWait(channel_ + 50, 1000);
    EXPECT_EQ(line_.Clock().SleepCount(), 3);
    EXPECT_EQ(line_.Clock().TotalSleptMs(), 300);

    line_.Line().RefuseBaud(153600);
    EXPECT_EQ(ComBaud(channel_, 57600), 1);
    EXPECT_EQ(ComBaud(channel_, 153600), 0);
    EXPECT_EQ(ComGetBaud(channel_), 57600u);
    EXPECT_EQ(line_.Clock().TotalSleptMs(), 300 + 20);
    EXPECT_TRUE(line_.Traced("ComBaud(57600): 1\n"));
    EXPECT_TRUE(line_.Traced("ComBaud(153600): 0\n"));

    ComParity(channel_, kParityMark, kStopTwo);
    EXPECT_EQ(line_.Line().PcSettings().parity, kParityMark);
    EXPECT_EQ(line_.Line().PcSettings().stopBits, kStopTwo);
    ComParity(channel_, kParityEven, kStopOneAndHalf);
    EXPECT_EQ(line_.Line().PcSettings().parity, kParityMark);
    EXPECT_EQ(test::CountOf(Trace(), "ComBaud"), 2);
}

}  // namespace
}  // namespace testbay
