#include <gtest/gtest.h>

#include <vector>

#include "hwt/hwt_request.h"
#include "protocol/crc.h"

namespace testbay {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(uint8_t command, std::initializer_list<HwtField> fields) {
    Bytes frame;
    EXPECT_TRUE(EncodeHwtRequest(command, std::span<const HwtField>(fields.begin(), fields.size()), frame));
    return frame;
}

TEST(HwtRequest, LedTelegramsAndScalarWidthsFollowValueAndWordIndex) {
    EXPECT_EQ(Encode(0x0E, {Scalar(1), Scalar(1)}), (Bytes{0x68, 0x04, 0x0E, 0x05, 0x01, 0x01, 0x15}));
    EXPECT_EQ(Encode(0x0E, {}), (Bytes{0x68, 0x02, 0x0E, 0x00, 0x0E}));
    // 255 fits a byte; 256 and -1 do not.
    EXPECT_EQ(Encode(0x01, {Scalar(255)}), (Bytes{0x68, 0x03, 0x01, 0x01, 0xFF, 0x01}));
    EXPECT_EQ(Encode(0x01, {Scalar(256)}), (Bytes{0x68, 0x06, 0x01, 0x02, 0x00, 0x00, 0x01, 0x00, 0x04}));
    EXPECT_EQ(Encode(0x01, {Scalar(-1)}), (Bytes{0x68, 0x06, 0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    // Word 4 and later always take four bytes and have no type bits.
    const Bytes five = Encode(0x5C, {Scalar(1), Scalar(2), Scalar(3), Scalar(4), Scalar(5)});
    EXPECT_EQ(five[3], 0x55);
    EXPECT_EQ(Bytes(five.begin() + 4, five.end() - 1), (Bytes{1, 2, 3, 4, 0, 0, 0, 5}));
    // A block takes two words, so a scalar behind it may widen although it is only field 4.
    const uint8_t text[] = {'A', 'B'};
    const Bytes mixed = Encode(0x60, {Scalar(7), Block(text, 2), Scalar(9), Block(text, 1), Scalar(3)});
    EXPECT_EQ(mixed[3], 0xDD);  // fields 0..3: byte, block, byte, block
    EXPECT_EQ(Bytes(mixed.begin() + 4, mixed.end() - 1), (Bytes{7, 2, 'A', 'B', 9, 1, 'A', 0, 0, 0, 3}));
}

TEST(HwtRequest, BlocksAndLongFramesHaveTheirPrefixesLengthsAndCrcAndLIsNeverOverrun) {
    EXPECT_EQ(Crc32Jam(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x340BC6D9u);
    const Bytes zeros(240, 0x00);
    const Bytes frame = Encode(0x18, {Scalar(0), Scalar(0), Block(zeros.data(), zeros.size())});
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 9), (Bytes{0x68, 0x00, 0x00, 0xF5, 0x18, 0x35, 0x00, 0x00, 0xF0}));
    EXPECT_EQ(Bytes(frame.end() - 4, frame.end()), (Bytes{0x4A, 0xE3, 0x82, 0x91}));
    EXPECT_EQ(frame.size(), 4u + 245u + 4u);

    const Bytes data(241, 0xAB);
    const Bytes at240 = Encode(0x2A, {Block(data.data(), 240)});
    EXPECT_EQ(Bytes(at240.begin() + 6, at240.begin() + 8), (Bytes{240, 0xAB}));
    const Bytes at241 = Encode(0x2A, {Block(data.data(), 241)});
    EXPECT_EQ(Bytes(at241.begin() + 6, at241.begin() + 10), (Bytes{0x00, 0x00, 0xF1, 0xAB}));
    // 1 length byte + 238 bytes = 239 bytes of data: short, length 241.
    const Bytes shortFrame = Encode(0x2A, {Block(data.data(), 238)});
    EXPECT_EQ(shortFrame[1], 241);
    EXPECT_EQ(shortFrame.size(), 2u + 241u + 1u);
    // 240 bytes of data: long form, 00 00 F2 and four CRC bytes.
    const Bytes longFrame = Encode(0x2A, {Block(data.data(), 239)});
    EXPECT_EQ(Bytes(longFrame.begin(), longFrame.begin() + 4), (Bytes{0x68, 0x00, 0x00, 0xF2}));
    EXPECT_EQ(longFrame.size(), 4u + 242u + 4u);

    // Fields beyond what the length field can hold are refused.
    const Bytes big(kMaxBlockLength + 1, 0x00);
    Bytes refused{0x01};
    const HwtField tooLong[] = {Block(big.data(), big.size())};
    EXPECT_FALSE(EncodeHwtRequest(0x18, tooLong, refused));
    // A full-size block plus its prefix and another scalar overflow L.
    const HwtField overflow[] = {Scalar(1), Block(big.data(), kMaxBlockLength)};
    EXPECT_FALSE(EncodeHwtRequest(0x18, overflow, refused));
    const HwtField missingBytes[] = {Block(nullptr, 4)};
    EXPECT_FALSE(EncodeHwtRequest(0x18, missingBytes, refused));
}

}  // namespace
}  // namespace testbay
