#include <gtest/gtest.h>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using Scalars = std::vector<test::Ints>;

class Calibration : public test::HwtRelayTest {
protected:
    sim::AnalogState& analog_ = relay_.Hardware().analog;
    sim::SerialPortsState& bus_ = relay_.Hardware().serialPorts;
};

TEST_F(Calibration, ValuesTravelScaledAndRoundedHalfUp) {
    analog_.calibrationScale = 1000;
    EXPECT_EQ(client_.SetCalibrationValue(1, 0, 2, 1.2345, -0.5), 1);
    EXPECT_EQ(client_.SetCalibrationValue(3, 1, 2, 0.9994, 0.0), 1);
    EXPECT_EQ(client_.SetCalibrationValue(3, 1, 3, -1.0, -0.0004), 1);
    EXPECT_EQ(client_.SetCalibrationValue(3, 1, 4, -0.9994, -2.0006), 1);
    // A missing b takes c's place.
    EXPECT_EQ(Sent(0x5C),
              (Scalars{{1, 2, 0, 1235, -500}, {3, 1, 2, 999, 0}, {3, 1, 3, -1000, 0}, {3, 1, 4, -999, -2001}}));
    double x = 0.0, y = 0.0;
    EXPECT_EQ(Outcome(client_.GetCalibrationValue(1, 0, 2, x, y), x, y), std::make_tuple(1, 1.235, -0.5));
    EXPECT_EQ(Sent(0x5D).back(), (std::vector<int32_t>{1, 2, 0}));

    // Halves go up on both sides of zero; what lies beyond 32 bits is clamped.
    analog_.calibrationScale = 10;
    line_.Line().ClearWrites();
    for (const auto& [x, y] : {std::pair{-1.25, 1.25}, {-1.26, -1.24}, {-0.05, 0.05}, {-3e9, 3e9}}) {
        EXPECT_EQ(client_.SetCalibrationValue(1, 1, 0, x, y), 1);
    }
    EXPECT_EQ(Sent(0x5C),
              (Scalars{{1, 1, 0, -12, 13}, {1, 1, 0, -13, -12}, {1, 1, 0, 0, 1}, {1, 1, 0, INT32_MIN, INT32_MAX}}));

    // Without the scale nothing is written.
    line_.Line().ClearWrites();
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.SetCalibrationValue(1, 1, 0, 1.0, 0.0), 0);
    EXPECT_TRUE(Sent(0x5C).empty());
}

TEST_F(Calibration, FindCalibrationChannelMatchesTheReferenceBoardsIdentity) {
    int32_t packed = 0, channel = 0;
    // Board 1 names its own I1 as reference.
    EXPECT_EQ(Outcome(client_.FindCalibrationChannel(packed, channel), packed, channel),
              std::make_tuple(1, 1 << 16 | 31, 1));
    // Board 1 names a channel of board 2; with two channels of that value the last one wins.
    analog_.boardCalibration[1] = {0, "1605987654", 22};
    analog_.channels[6].channelValue = 22;
    EXPECT_EQ(Outcome(client_.FindCalibrationChannel(packed, channel), packed, channel),
              std::make_tuple(1, 2 << 16 | 22, 7));
    // Nibbles above 9 read as '1' in a board's identity.
    bus_.boards[2].serial = "160598:654";
    analog_.boardCalibration[1].referenceText = "1605981654";
    channel = 0;
    EXPECT_EQ(Outcome(client_.FindCalibrationChannel(packed, channel), channel), std::make_tuple(1, 7));
    // Boards that disagree about the reference: no answer.
    analog_.boardCalibration[2] = {0, "1511000042", 31};
    channel = 0;
    EXPECT_EQ(Outcome(client_.FindCalibrationChannel(packed, channel), channel), std::make_tuple(0, 0));
    // A board without bus identity must not match while no reference is set.
    analog_.boardCalibration = {};
    bus_.boards.erase(1);
    analog_.channels[0].channelValue = 0;
    EXPECT_EQ(Outcome(client_.FindCalibrationChannel(packed, channel), channel), std::make_tuple(0, 0));
}

TEST_F(Calibration, FailedReadsGiveTheirDefaultsAndAnyNonZeroSwitchesAutoOffsetOn) {
    int32_t a = -1, b = -1, c = -1, value = 0, offset = -1, calculated = -1, output = -1;
    std::string text;
    EXPECT_EQ(client_.SetCalRef(2, "1605987654", 22), 1);
    EXPECT_EQ(Outcome(client_.GetCalPara(2, a, text, value), a, text, value), std::make_tuple(1, 0, "1605987654", 22));
    EXPECT_EQ(Outcome(client_.GetCalPara(8, a, text, value), a, text, value), std::make_tuple(0, 0, "?", 0));
    a = -1;
    EXPECT_EQ(client_.GetOffset(9, offset) + client_.CalculateOffset(9, calculated) +
                  client_.GetAnalogOutputProperties(3, a, b, c) + client_.GetAnalogOutput(3, 0, output),
              0);
    EXPECT_EQ(std::tie(offset, calculated, a, b, c, output), std::make_tuple(0, 0, 0, 0, 0, 0));

    EXPECT_EQ(client_.SetOffset(), 1);
    EXPECT_EQ(client_.SetAutoOffsetMode(5), 1);
    EXPECT_EQ(client_.SetAutoOffsetMode(0), 1);
    EXPECT_EQ(Sent(0x43), (Scalars{{2}, {3}, {0}}));
}

}  // namespace
}  // namespace testbay
