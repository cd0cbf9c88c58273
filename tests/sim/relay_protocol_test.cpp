#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hwt/hwt_client.h"
#include "hwt/hwt_request.h"
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

}  // namespace
}  // namespace testbay::sim
