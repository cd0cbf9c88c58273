#include <gtest/gtest.h>

#include <vector>

#include "hwt/hwt_request.h"
#include "sim/relay_model.h"

namespace testbay::sim {
namespace {

using Bytes = std::vector<uint8_t>;

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

}  // namespace
}  // namespace testbay::sim
