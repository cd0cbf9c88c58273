#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using test::VirtualLineFixture;

// The scalars of every request of one command the PC wrote.
std::vector<std::vector<int32_t>> SentScalars(const sim::MemoryLine& line, uint8_t command) {
    sim::HwtRequestAssembler assembler;
    std::vector<std::vector<int32_t>> scalars;
    for (const auto& written : line.Writes()) {
        for (const auto& request : assembler.Feed(written.bytes.data(), written.bytes.size())) {
            if (request.command == command) scalars.push_back(request.scalars);
        }
    }
    return scalars;
}

class Calibration : public ::testing::Test {
protected:
    // The PC side at the relay's start rate, as the baud-rate search leaves it.
    void SetUp() override {
        ComParity(channel_, kParityNone, kStopOne);
        ComBaud(channel_, 38400);
    }
    sim::RelayModel relay_;
    sim::AnalogState& analog_ = relay_.Hardware().analog;
    sim::SerialPortsState& bus_ = relay_.Hardware().serialPorts;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(Calibration, ValuesTravelScaledAndRoundedHalfUp) {
    analog_.calibrationScale = 1000;
    EXPECT_EQ(client_.SetCalibrationValue(1, 0, 2, 1.2345, -0.5), 1);
    EXPECT_EQ(client_.SetCalibrationValue(3, 1, 2, 0.9994, 0.0), 1);
    // A missing b takes c's place; negative values are truncated after +0.5.
    EXPECT_EQ(SentScalars(line_.Line(), 0x5C),
              (std::vector<std::vector<int32_t>>{{1, 2, 0, 1235, -499}, {3, 1, 2, 999, 0}}));
    const auto stored = analog_.calibration.at(sim::CalibrationKey{1, 2, 0});
    EXPECT_EQ(stored.gain, 1235);

    double x = 0.0;
    double y = 0.0;
    EXPECT_EQ(client_.GetCalibrationValue(1, 0, 2, x, y), 1);
    EXPECT_DOUBLE_EQ(x, 1.235);
    EXPECT_DOUBLE_EQ(y, -0.499);
    EXPECT_EQ(SentScalars(line_.Line(), 0x5D).back(), (std::vector<int32_t>{1, 2, 0}));

    EXPECT_EQ(client_.StoreCalibrationValues(), 1);
    EXPECT_EQ(analog_.storedCalibration.size(), 2u);
    EXPECT_EQ(client_.SetCalDefaults(), 1);
    EXPECT_EQ(client_.GetCalibrationValue(1, 0, 2, x, y), 1);
    EXPECT_DOUBLE_EQ(x, 1.0);
    EXPECT_DOUBLE_EQ(y, 0.0);
    EXPECT_EQ(client_.SetCalibrationValue(9, 1, 0, 1.0, 0.0), 0);

    // Without the scale nothing is written.
    line_.Line().ClearWrites();
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.SetCalibrationValue(1, 1, 0, 1.0, 0.0), 0);
    EXPECT_TRUE(SentScalars(line_.Line(), 0x5C).empty());
}

TEST_F(Calibration, FindCalibrationChannelMatchesTheReferenceBoardsIdentity) {
    int32_t packed = 0;
    int32_t channel = 0;
    // Board 1 names its own I1 as reference.
    EXPECT_EQ(client_.FindCalibrationChannel(packed, channel), 1);
    EXPECT_EQ(packed, 1 << 16 | 31);
    EXPECT_EQ(channel, 1);

    // Board 1 names a channel of board 2; with two channels of that value
    // the last one wins.
    analog_.boardCalibration[1] = {0, "1605987654", 22};
    analog_.channels[6].channelValue = 22;
    EXPECT_EQ(client_.FindCalibrationChannel(packed, channel), 1);
    EXPECT_EQ(packed, 2 << 16 | 22);
    EXPECT_EQ(channel, 7);

    // Nibbles above 9 read as '1' in a board's identity.
    bus_.boards[2].serial = "160598:654";
    analog_.boardCalibration[1].referenceText = "1605981654";
    channel = 0;
    EXPECT_EQ(client_.FindCalibrationChannel(packed, channel), 1);
    EXPECT_EQ(channel, 7);

    // Boards that disagree about the reference: no answer.
    analog_.boardCalibration[2] = {0, "1511000042", 31};
    channel = 0;
    EXPECT_EQ(client_.FindCalibrationChannel(packed, channel), 0);
    EXPECT_EQ(channel, 0);

    // A board without bus identity must not match while no reference is set.
    analog_.boardCalibration = {};
    bus_.boards.erase(1);
    analog_.channels[0].channelValue = 0;
    EXPECT_EQ(client_.FindCalibrationChannel(packed, channel), 0);
    EXPECT_EQ(channel, 0);
}

TEST_F(Calibration, FailedReadsGiveTheirDefaults) {
    EXPECT_EQ(client_.SetCalRef(2, "1605987654", 22), 1);
    int32_t a = -1;
    std::string text;
    int32_t value = 0;
    EXPECT_EQ(client_.GetCalPara(2, a, text, value), 1);
    EXPECT_EQ(std::tie(a, text, value), std::make_tuple(0, std::string("1605987654"), 22));
    EXPECT_EQ(client_.GetCalPara(8, a, text, value), 0);
    EXPECT_EQ(std::tie(a, text, value), std::make_tuple(0, std::string("?"), 0));

    int32_t offset = -1;
    EXPECT_EQ(client_.GetOffset(9, offset), 0);
    EXPECT_EQ(offset, 0);
    offset = -1;
    EXPECT_EQ(client_.CalculateOffset(9, offset), 0);
    EXPECT_EQ(offset, 0);
    int32_t b = -1;
    int32_t c = -1;
    EXPECT_EQ(client_.GetAnalogOutputProperties(3, a, b, c), 0);
    EXPECT_EQ(std::tie(a, b, c), std::make_tuple(0, 0, 0));
    value = -1;
    EXPECT_EQ(client_.GetAnalogOutput(3, 0, value), 0);
    EXPECT_EQ(value, 0);

    // Any non-zero switches the automatic offset on.
    EXPECT_EQ(client_.SetOffset(), 1);
    EXPECT_EQ(client_.SetAutoOffsetMode(5), 1);
    EXPECT_EQ(client_.SetAutoOffsetMode(0), 1);
    EXPECT_EQ(SentScalars(line_.Line(), 0x43), (std::vector<std::vector<int32_t>>{{2}, {3}, {0}}));
}

}  // namespace
}  // namespace testbay
