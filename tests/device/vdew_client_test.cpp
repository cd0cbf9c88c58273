#include <gtest/gtest.h>

#include "device/vdew_client.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::Bytes;
using test::VirtualLineFixture;

class Vdew : public ::testing::Test {
protected:
    void AnswerWith(std::vector<Bytes> answers) {
        peer_.SetScript([answers](const Bytes&) { return answers; });
    }

    test::ScriptedPeer peer_;
    VirtualLineFixture line_{peer_};
    CVDEWClient client_{line_.OpenChannel()};
};

TEST_F(Vdew, NoRelayOrOnlyASingleCharacterAcknowledgementMeans192ProbeFramesOfKnownBytes) {
    EXPECT_EQ(client_.ConnectV4(0, nullptr), 1);
    ASSERT_EQ(peer_.Requests().size(), 192u);
    for (const Bytes& frame : peer_.Requests()) ASSERT_EQ(frame, (Bytes{0x10, 0x47, 0x00, 0x47, 0x16}));
    EXPECT_TRUE(line_.Traced("CVDEWClient::ConnectV4()\n"));
    AnswerWith({{0xE5}});
    EXPECT_EQ(client_.ConnectV4(0, nullptr), 1);
    EXPECT_EQ(peer_.Requests().size(), 2 * 192u);
}

TEST_F(Vdew, RestartTogglesTheFrameCountBitOfAFreshClientAndAnswersSkipPrimaryAndGarbledFrames) {
    AnswerWith({{0x10, 0x00, 0x00, 0x00, 0x16}});
    EXPECT_EQ(client_.SendShort(CVDEWClient::kResetUserProcess, 150), 0);
    EXPECT_EQ(peer_.Requests().back(), (Bytes{0x10, 0x41, 0x00, 0x41, 0x16}));
    EXPECT_EQ(client_.SendShort(CVDEWClient::kResetUserProcess, 150), 0);
    EXPECT_EQ(peer_.Requests().back(), (Bytes{0x10, 0x61, 0x00, 0x61, 0x16}));

    const Bytes primary{0x10, 0x49, 0x01, 0x4A, 0x16};
    const Bytes secondLengthWrong{0x68, 0x03, 0x04, 0x68, 0x08, 0x01, 0x02, 0x0B, 0x16};
    const Bytes noEndByte{0x10, 0x00, 0x00, 0x00, 0x17};
    AnswerWith({primary, secondLengthWrong, noEndByte});
    EXPECT_EQ(client_.SendShort(CVDEWClient::kResetFrameCountBit, 20), kExchangeTimeout);
    EXPECT_EQ(peer_.Requests().size(), 2u + 8u);

    // A variable frame with a wrong sum still counts; the frame buffer holds C on.
    AnswerWith({primary, {0x68, 0x03, 0x03, 0x68, 0x08, 0x01, 0x02, 0xFF, 0x16}});
    EXPECT_EQ(client_.SendShort(CVDEWClient::kResetFrameCountBit, 20), 0);
    EXPECT_EQ(Bytes(client_.Frame(), client_.Frame() + client_.FrameCount()), (Bytes{0x08, 0x01, 0x02}));
    EXPECT_EQ(client_.ReceivedChecksum(), 0xFFu);
}

TEST(VdewRelay, ApplicationAt9600WithoutParityIsFoundAfterTheOtherTries) {
    sim::RelayModel relay(sim::RelayConfig{.startState = 2, .applicationLine = {9600, kParityNone, kStopOne}});
    VirtualLineFixture line(relay);
    const int channel = line.OpenChannel();
    CVDEWClient client(channel);
    EXPECT_EQ(client.ConnectV4(0, nullptr), 0);
    // Six rates with even parity and four without, eight frames each, then one.
    EXPECT_EQ(line.Line().Writes().size(), 6u * 8u + 4u * 8u + 1u);
    EXPECT_EQ(ComGetBaud(channel), 9600u);
    EXPECT_EQ(line.Line().PcSettings().parity, kParityNone);
}

}  // namespace
}  // namespace testbay
