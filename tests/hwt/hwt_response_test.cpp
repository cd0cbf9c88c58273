#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hwt/hwt_client.h"
#include "hwt/hwt_frame_receiver.h"

namespace testbay {
namespace {

using Bytes = std::vector<uint8_t>;

int FeedAll(FrameReceiver& receiver, const Bytes& bytes) { return receiver.Feed(bytes.data(), bytes.size()); }

// Sets L from the frame's size and appends the sum of everything after it.
Bytes WithSum(Bytes frame) {
    frame[1] = static_cast<uint8_t>(frame.size() - 2);
    uint8_t sum = 0;
    for (size_t index = 2; index < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
    frame.push_back(sum);
    return frame;
}

TEST(HwtFrameReceiver, DelimitsFramesSkipsNoiseBeforeThemAndChecksTheirSum) {
    HwtFrameReceiver receiver;
    EXPECT_EQ(FeedAll(receiver, {0x68, 0x04, 0x0E}), FrameReceiver::kIncomplete);
    EXPECT_EQ(FeedAll(receiver, {0x01, 0x01, 0x10, 0x20}), FrameReceiver::kComplete);
    EXPECT_EQ(receiver.FrameCount(), 7u);
    const std::pair<Bytes, int> cases[] = {
        {{0x68, 0x04, 0x0E, 0x01, 0x01, 0x10, 0x21}, FrameReceiver::kBadChecksum},
        {{0x00, 0xFF, 0x68, 0x02, 0x0E, 0x01, 0x0F}, FrameReceiver::kComplete},
        {{0x68, 0x02, 0x0E, 0x01, 0x0F, 0x00}, FrameReceiver::kIncomplete},  // bytes after a frame
        {{0x68, 0x00, 0x33, 0x33}, FrameReceiver::kComplete},                // length 0 is taken as 1
    };
    for (const auto& [bytes, result] : cases) {
        receiver.Reset();
        EXPECT_EQ(FeedAll(receiver, bytes), result);
    }
    FeedAll(receiver, Bytes(1500, 0x00));
    EXPECT_EQ(receiver.RawCount(), 1024u);
    EXPECT_TRUE(receiver.RawFull());
}

class ResponseParser : public ::testing::Test {
protected:
    int Parse(const Bytes& frame) { return client_.parse(frame.data(), frame.size()); }
    CHwtV4Client client_{-1};
};

TEST_F(ResponseParser, BlockFillsTextAndBlockBufferLeavesValueZeroAndItsTextIsCutTo49Characters) {
    for (const std::string& text : {std::string("MBX2"), std::string(60, 'x')}) {
        Bytes frame{0x68, 0, 0x6F, 0x01, 0x03, static_cast<uint8_t>(text.size())};
        for (const char letter : text) frame.push_back(static_cast<uint8_t>(letter));
        ASSERT_EQ(Parse(WithSum(frame)), 1);
        EXPECT_EQ(std::string(client_.FieldText(0)), text.substr(0, 49));
        EXPECT_EQ(client_.Field(0), 0);
        EXPECT_EQ(client_.BlockLength(), text.size());
        EXPECT_STREQ(reinterpret_cast<const char*>(client_.BlockData()), text.c_str());
    }
}

TEST_F(ResponseParser, FifthFieldTypeComesFromTheBytesLeftAndFieldsPastTheTenthAreCountedButNotStored) {
    // Four one-byte fields, then what is left before the sum decides.
    auto parseWithTail = [&](const Bytes& tail) {
        Bytes frame{0x68, 0, 0x01, 0x01, 0x55, 1, 2, 3, 4};
        for (const uint8_t byte : tail) frame.push_back(byte);
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

    // Four typed bytes, a fifth field that is a block (more than four bytes
    // follow), then seven four-byte scalars 6 to 12.
    Bytes frame{0x68, 0, 0x71, 0x01, 0x55, 1, 2, 3, 4, 1, 'e'};
    for (uint8_t value = 6; value <= 12; ++value) frame.insert(frame.end(), {0, 0, 0, value});
    ASSERT_EQ(Parse(WithSum(frame)), 1);
    EXPECT_EQ(client_.FieldCount(), 12u);
    EXPECT_STREQ(client_.FieldText(4), "e");
    EXPECT_EQ(client_.Field(9), 10);
    EXPECT_EQ(client_.Field(10), 0);
}

TEST_F(ResponseParser, ScalarsAreSignExtendedAndCutOffFieldsNeverReadPastTheFrame) {
    ASSERT_EQ(Parse(WithSum({0x68, 0, 0x49, 0x01, 0x09, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE})), 1);
    EXPECT_EQ(client_.Field(0), -1);
    EXPECT_EQ(client_.Field(1), -2);
    EXPECT_EQ(client_.Field(2), 0);  // type bits 0: no such field
    EXPECT_EQ(client_.FieldCount(), 2u);
    // A block claiming more than the frame holds is not copied.
    ASSERT_EQ(Parse(WithSum({0x68, 0, 0x6F, 0x01, 0x03, 0x20, 'a', 'b'})), 1);
    EXPECT_STREQ(client_.FieldText(0), "");
    // A four-byte scalar cut off by the sum ends the walk.
    ASSERT_EQ(Parse(WithSum({0x68, 0, 0x49, 0x01, 0x02, 0x00, 0x01})), 1);
    EXPECT_EQ(client_.FieldCount(), 0u);
    EXPECT_EQ(Parse({0x68, 0x00}), 0);
}

}  // namespace
}  // namespace testbay
