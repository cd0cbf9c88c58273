#include <gtest/gtest.h>

#include "bootlink/v4_update.h"
#include "protocol/crc.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::BootTelegram;
using test::Bytes;
using test::CountOf;
using test::VirtualLineFixture;

int FeedAll(FrameReceiver& receiver, const Bytes& bytes) { return receiver.Feed(bytes.data(), bytes.size()); }

TEST(UpdateAnswers, CrcCheckValueResidueAndWhereAnswersEnd) {
    EXPECT_EQ(Crc16Xmodem(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x31C3);
    const Bytes answer = BootTelegram({kNak, 'E'});
    EXPECT_EQ(Crc16Xmodem(answer.data(), answer.size()), 0);

    // A NAK alone at the end of a block is a whole answer.
    CommandAnswerReceiver receiver;
    EXPECT_EQ(FeedAll(receiver, {0x00, 0x41, kNak}), FrameReceiver::kComplete);
    EXPECT_EQ(receiver.FrameCount(), 1u);

    // NAK with more behind it starts an 18-byte answer that is cut back.
    receiver.Reset();
    EXPECT_EQ(FeedAll(receiver, Bytes(answer.begin(), answer.begin() + 10)), FrameReceiver::kIncomplete);
    EXPECT_EQ(FeedAll(receiver, Bytes(answer.begin() + 10, answer.end())), FrameReceiver::kComplete);
    EXPECT_EQ(receiver.FrameCount(), 1u);

    BlockAnswerReceiver block;
    EXPECT_EQ(FeedAll(block, {0x55, kEtb}), FrameReceiver::kComplete);
}

class BootLink : public ::testing::Test {
protected:
    const auto& Writes() { return line_.Line().Writes(); }

    sim::RelayModel relay_{sim::RelayConfig{.startState = 1}};
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CV4Update update_{channel_, 38400};
};

TEST_F(BootLink, ConnectScansTheBootRatesThenSetsTheTransferModeAndResetHasItsKnownBytes) {
    EXPECT_EQ(update_.Connect(), kUpdateOk);
    EXPECT_EQ(ComGetBaud(channel_), 115200u);
    // 9600 (3 tries), 38400 and 57600 (3 each), then 115200 answers; then 'P'.
    ASSERT_EQ(Writes().size(), 3u + 3u + 3u + 1u + 1u);
    EXPECT_EQ(Writes().back().bytes[1], 'P');
    EXPECT_EQ(Writes().back().bytes[3], 0xFF);
    EXPECT_TRUE(line_.Traced("CV4Update::Connect -> 0\n"));

    line_.Line().ClearWrites();
    EXPECT_EQ(update_.Reset(4), kUpdateOk);
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].bytes, BootTelegram({0x11, 0x52, 0x04}));
    EXPECT_TRUE(line_.Traced("CV4Update::Reset -> 0 \n"));
}

TEST_F(BootLink, SilentBootSystemGetsThreeTelegramsPerAcceptedRateAndPort255NeverChangesTheRate) {
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    line_.Line().RefuseBaud(460800);
    EXPECT_EQ(update_.Connect(), kExchangeTimeout);
    EXPECT_EQ(Writes().size(), 3u + 5u * 3u);

    line_.Line().ClearWrites();
    int channel = -1;
    ComClose(channel_);
    ASSERT_EQ(ComOpen(255, channel), 1);
    CV4Update update(channel, 9600);
    const int64_t start = line_.Clock().NowMs();
    EXPECT_NE(update.Connect(), kUpdateOk);
    EXPECT_EQ(Writes().size(), 3u);
    EXPECT_EQ(ComGetBaud(channel), 9600u);
    EXPECT_GE(line_.Clock().NowMs() - start, 3 * 5000);
    ComClose(channel);
}

TEST_F(BootLink, OrderNumberBlockIsStoredWithItsEscTextLoggedAndAPersistentNakFailsAWrite) {
    ASSERT_EQ(update_.Connect(), kUpdateOk);
    const std::string mlfb = "QR8425-5TB92-3MD1+Z2A";
    EXPECT_EQ(update_.SetMlfb(reinterpret_cast<const uint8_t*>(mlfb.c_str()), mlfb.size()), kUpdateOk);
    EXPECT_EQ(relay_.Hardware().identity.mlfb, mlfb);
    EXPECT_EQ(Writes().back().bytes.size(), 1024u);
    const std::string trace = line_.Trace();
    const size_t escStart = trace.find("ESC-----------------\n");
    ASSERT_NE(escStart, std::string::npos);
    EXPECT_NE(trace.find("MLFB gespeichert", escStart), std::string::npos);
    EXPECT_NE(trace.find("ESC-Ende------------\n", escStart), std::string::npos);

    relay_.Config().bootNakEvery = 1;
    line_.Line().ClearWrites();
    EXPECT_EQ(update_.SetBFNr(reinterpret_cast<const uint8_t*>("X"), 1), kBfNrNotAcknowledged);
    EXPECT_EQ(Writes().size(), 4u);
    EXPECT_EQ(CountOf(line_.Trace(), "NAK # 0 ->repeat\n"), 4);
    EXPECT_TRUE(line_.Traced("CV4Update::Send -> 1\n"));
    EXPECT_TRUE(line_.Traced("CV4Update::SetBFNr -> 276 \n"));
}

TEST(BootLinkAnswers, BadCrcRepeatsUnlessTheAnswerIsAResetAndBellCodesMayRefuseTheTransferMode) {
    test::ScriptedPeer peer([](const Bytes& request) {
        Bytes answer = BootTelegram({kAck, request[1]});
        answer.back() ^= 0xFF;
        return std::vector<Bytes>{answer};
    });
    VirtualLineFixture line(peer);
    CV4Update update(line.OpenChannel(), 38400);
    EXPECT_EQ(update.Reset(4), kUpdateOk);
    EXPECT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(update.SetTransferMode(0xFF, 0, 0, 0, 0, nullptr), kUpdateRejected);
    EXPECT_EQ(peer.Requests().size(), 1u + 4u);
    EXPECT_EQ(CountOf(line.Trace(), "CKS-Error # 0 ->repeat\n"), 4);

    uint8_t bellCode = '2';
    peer.SetScript([&bellCode](const Bytes&) {
        return std::vector<Bytes>{bellCode ? BootTelegram({kBel, 'P', 0, bellCode}) : BootTelegram({kAck, 'P', 0x42})};
    });
    uint8_t out = 0x99;
    EXPECT_EQ(update.SetTransferMode(0xFF, 0, 0, 0, 0, &out), kTransferModeRefused2);
    EXPECT_EQ(out, 0);
    EXPECT_TRUE(line.Traced("CV4Update::SetTransferMode -> 291 \n"));
    bellCode = '7';
    EXPECT_EQ(update.SetTransferMode(0xFF, 0, 0, 0, 0, &out), kUpdateOk);
    bellCode = 0;
    EXPECT_EQ(update.SetTransferMode(0xFF, 0, 0, 0, 0, &out), kUpdateOk);
    EXPECT_EQ(out, 0x42);
}

}  // namespace
}  // namespace testbay
