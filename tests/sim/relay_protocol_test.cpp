#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hwt/hwt_client.h"
#include "hwt/hwt_request.h"
#include "sim/hwt_codec.h"
#include "sim/relay_model.h"
#include "support/virtual_line.h"

namespace testbay::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// The hardware-test firmware and the client on one in-memory line.
class RelayFirmware : public ::testing::Test {
protected:
    RelayFirmware() { ComBaud(channel_, RelayModel::kHardwareTestStartBaud); }

    RelayModel relay_;
    test::VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST(RelayModelAnswers, SendOnlyCommandsGetNoAnswerButTakeEffect) {
    RelayModel relay(LineSettings{38400, kParityNone, kStopOne});
    const auto send = [&relay](uint8_t command, int32_t value) {
        const HwtField fields[] = {Scalar(value)};
        Bytes frame;
        EXPECT_TRUE(EncodeHwtRequest(command, fields, frame));
        return relay.Receive(frame.data(), frame.size(), relay.Line());
    };
    EXPECT_TRUE(send(0x1C, 0x00800100).empty());
    EXPECT_EQ(relay.Hardware().memory.jumpedTo.value_or(0), 0x00800100u);
    EXPECT_TRUE(send(0x3F, 3).empty());
    EXPECT_EQ(relay.State(), RelayModel::kRestarting);
}

TEST_F(RelayFirmware, AnEmptyReferenceTextKeepsTheFieldsAfterIt) {
    int32_t sid = 0, value = 0;
    std::string text = "?";
    EXPECT_EQ(client_.SetCalRef(1, "", 256), 1);
    EXPECT_EQ(client_.GetCalPara(1, sid, text, value), 1);
    EXPECT_EQ(text, "");
    EXPECT_EQ(value, 256);
    // Its first two bytes would make a long length, but the block would not fit.
    EXPECT_EQ(client_.SetCalRef(2, "", 0x01000000), 1);
    EXPECT_EQ(client_.GetCalPara(2, sid, text, value), 1);
    EXPECT_EQ(value, 0x01000000);
    // A text above 240 bytes still has its three-byte prefix.
    EXPECT_EQ(client_.SetCalRef(3, std::string(241, 'k'), 7), 1);
    EXPECT_EQ(relay_.Hardware().analog.boardCalibration[3].referenceText, std::string(241, 'k'));
    EXPECT_EQ(relay_.Hardware().analog.boardCalibration[3].referenceValue, 7);
}

// What the PC reads from an answer with these fields.
struct ReadBack {
    uint32_t count;
    std::vector<int32_t> values;
    std::vector<std::string> texts;
};

ReadBack ReadAnswer(const std::vector<HwtAnswerField>& fields) {
    CHwtV4Client reader(-1);
    const Bytes frame = EncodeHwtAnswer(0x42, kHwtPass, fields);
    reader.parse(frame.data(), frame.size());
    ReadBack read{reader.FieldCount(), {}, {}};
    for (size_t index = 0; index < fields.size(); ++index) {
        read.values.push_back(reader.Field(index));
        read.texts.emplace_back(reader.FieldText(index));
    }
    return read;
}

TEST(AnswerEncoder, FieldsFromTheFifthOnAreWrittenAsThePcReadsThem) {
    // After a block in fifth place every field takes four bytes, small or not.
    const ReadBack sixth = ReadAnswer({AnswerScalar(1), AnswerScalar(-2), AnswerScalar(300), AnswerScalar(4),
                                       AnswerText("ab"), AnswerScalar(5), AnswerScalar(-1), AnswerScalar(70000)});
    EXPECT_EQ(sixth.count, 8u);
    EXPECT_EQ(sixth.values, (std::vector<int32_t>{1, -2, 300, 4, 0, 5, -1, 70000}));
    EXPECT_EQ(sixth.texts[4], "ab");

    // A last fifth field is typed by the bytes left: one for a small value,
    // four for a large one, a block otherwise.
    const auto fifth = [](const HwtAnswerField& field) {
        return ReadAnswer({AnswerScalar(9), AnswerScalar(9), AnswerScalar(9), AnswerScalar(9), field});
    };
    EXPECT_EQ(fifth(AnswerScalar(-5)).values[4], -5);
    EXPECT_EQ(fifth(AnswerScalar(123456)).values[4], 123456);
    EXPECT_EQ(fifth(AnswerText("xyz")).texts[4], "xyz");
    EXPECT_EQ(fifth(AnswerText("a longer text")).texts[4], "a longer text");
}

}  // namespace
}  // namespace testbay::sim
