#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hwt/hwt_client.h"
#include "hwt/hwt_frame_receiver.h"

namespace testbay {
namespace {

using Bytes = std::vector<uint8_t>;

int FeedAll(FrameReceiver& receiver, const Bytes& bytes) { return receiver.Feed(bytes.data(), bytes.size()); }

Bytes WithSum(Bytes frame) {
    uint8_t sum = 0;
    for (size_t index = 2; index < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
    frame.push_back(sum);
    return frame;
}

TEST(HwtFrameReceiver, DelimitsFramesAndChecksTheirSum) {
    HwtFrameReceiver receiver;
    EXPECT_EQ(FeedAll(receiver, {0x68, 0x04, 0x0E}), FrameReceiver::kIncomplete);
    EXPECT_EQ(FeedAll(receiver, {0x01, 0x01, 0x10, 0x20}), FrameReceiver::kComplete);
    EXPECT_EQ(receiver.FrameCount(), 7u);
    receiver.Reset();
    EXPECT_EQ(FeedAll(receiver, {0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x21}), FrameReceiver::kBadChecksum);
}

TEST(HwtFrameReceiver, NoiseBeforeIsSkippedButBytesAfterAFrameMakeItIncompleteAgain) {
    HwtFrameReceiver receiver;
    EXPECT_EQ(FeedAll(receiver, {0x00, 0xFF, 0x68, 0x02, 0x0E, 0x01, 0x0F}), FrameReceiver::kComplete);
    receiver.Reset();
    EXPECT_EQ(FeedAll(receiver, {0x68, 0x02, 0x0E, 0x01, 0x0F, 0x00}), FrameReceiver::kIncomplete);
    EXPECT_EQ(receiver.RawCount(), 6u);
}

TEST(HwtFrameReceiver, LengthZeroIsTakenAsOne) {
    HwtFrameReceiver receiver;
    EXPECT_EQ(FeedAll(receiver, {0x68, 0x00, 0x33, 0x33}), FrameReceiver::kComplete);
}

TEST(HwtFrameReceiver, RawBufferStopsAt1024Bytes) {
    HwtFrameReceiver receiver;
    const Bytes noise(1500, 0x00);
    FeedAll(receiver, noise);
    EXPECT_EQ(receiver.RawCount(), 1024u);
    EXPECT_TRUE(receiver.RawFull());
}

class ResponseParser : public ::testing::Test {
protected:
    int Parse(const Bytes& frame) { return client_.parse(frame.data(), frame.size()); }
    CHwtV4Client client_{-1};
};

TEST_F(ResponseParser, LedCountAnswerHasOneByteField) {
    ASSERT_EQ(Parse({0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x20}), 1);
    EXPECT_EQ(client_.FieldCount(), 1u);
    EXPECT_EQ(client_.Field(0), 16);
}

TEST_F(ResponseParser, OneByteScalarsAreSignExtendedFourByteOnesBigEndian) {
    ASSERT_EQ(Parse(WithSum({0x68, 0x08, 0x49, 0x01, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE})), 1);
    EXPECT_EQ(client_.Field(0), -1);
    EXPECT_EQ(client_.Field(1), -2);
    EXPECT_EQ(client_.Field(2), 0);  // type bits 0: no such field
    EXPECT_EQ(client_.FieldCount(), 2u);
}

TEST_F(ResponseParser, BlockFillsTextAndBlockBufferAndLeavesValueZero) {
    const std::string cpu = "MBX2";
    Bytes frame{0x68, static_cast<uint8_t>(4 + cpu.size()), 0x6F, 0x01, 0x03, static_cast<uint8_t>(cpu.size())};
    frame.insert(frame.end(), cpu.begin(), cpu.end());
    ASSERT_EQ(Parse(WithSum(frame)), 1);
    EXPECT_STREQ(client_.FieldText(0), "MBX2");
    EXPECT_EQ(client_.Field(0), 0);
    EXPECT_EQ(client_.BlockLength(), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(client_.BlockData())), "MBX2");
}

TEST_F(ResponseParser, LongBlockIsCutTo49CharactersInItsText) {
    const std::string text(60, 'x');
    Bytes frame{0x68, static_cast<uint8_t>(4 + text.size()), 0x71, 0x01, 0x03, static_cast<uint8_t>(text.size())};
    frame.insert(frame.end(), text.begin(), text.end());
    ASSERT_EQ(Parse(WithSum(frame)), 1);
    EXPECT_EQ(std::string(client_.FieldText(0)), std::string(49, 'x'));
    EXPECT_EQ(client_.BlockLength(), 60u);
}

TEST_F(ResponseParser, FifthFieldTypeComesFromTheBytesLeft) {
    // Four one-byte fields, then what is left before the sum decides.
    const Bytes head{0x68, 0x00, 0x01, 0x01, 0x55, 1, 2, 3, 4};
    auto parseWithTail = [&](const Bytes& tail) {
        Bytes frame = head;
        frame.insert(frame.end(), tail.begin(), tail.end());
        frame[1] = static_cast<uint8_t>(frame.size() - 2);
        return Parse(WithSum(frame));
    };
    ASSERT_EQ(parseWithTail({0xFE}), 1);
    EXPECT_EQ(client_.Field(4), -2);
    ASSERT_EQ(parseWithTail({0x00, 0x00, 0x01, 0x00}), 1);
    EXPECT_EQ(client_.Field(4), 256);
    ASSERT_EQ(parseWithTail({0x03, 'a', 'b', 'c'}), 1);
    EXPECT_STREQ(client_.FieldText(4), "abc");
    ASSERT_EQ(parseWithTail({0x02, 'o', 'k'}), 1);
    EXPECT_STREQ(client_.FieldText(4), "ok");
    // After the fifth field everything is four-byte scalars.
    ASSERT_EQ(parseWithTail({0x01, 'z', 0x00, 0x00, 0x00, 0x07}), 1);
    EXPECT_EQ(client_.Field(5), 7);
    EXPECT_EQ(client_.FieldCount(), 6u);
}

TEST_F(ResponseParser, FieldsPastTheTenthAreCountedButNotStored) {
    // Four typed bytes, a fifth field that is a block (more than four bytes
    // follow), then seven four-byte scalars 6 to 12.
    Bytes frame{0x68, 0x00, 0x71, 0x01, 0x55, 1, 2, 3, 4, 1, 'e'};
    for (uint8_t value = 6; value <= 12; ++value) frame.insert(frame.end(), {0, 0, 0, value});
    frame[1] = static_cast<uint8_t>(frame.size() - 2);
    ASSERT_EQ(Parse(WithSum(frame)), 1);
    EXPECT_EQ(client_.FieldCount(), 12u);
    EXPECT_STREQ(client_.FieldText(4), "e");
    EXPECT_EQ(client_.Field(9), 10);
    EXPECT_EQ(client_.Field(10), 0);
}

TEST_F(ResponseParser, TruncatedFieldsNeverReadPastTheFrame) {
    // A block claiming more than the frame holds is not copied.
    ASSERT_EQ(Parse(WithSum({0x68, 0x06, 0x6F, 0x01, 0x03, 0x20, 'a', 'b'})), 1);
    EXPECT_STREQ(client_.FieldText(0), "");
    // A four-byte scalar cut off by the sum ends the walk.
    ASSERT_EQ(Parse(WithSum({0x68, 0x05, 0x49, 0x01, 0x02, 0x00, 0x01})), 1);
    EXPECT_EQ(client_.FieldCount(), 0u);
    EXPECT_EQ(Parse({0x68, 0x00}), 0);
}

}  // namespace
}  // namespace testbay
