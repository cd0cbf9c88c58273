#include <gtest/gtest.h>

#include <vector>

#include "hwt/hwt_client.h"
#include "support/relay_process.h"

namespace testbay {
namespace {

using test::RelayChannel;
using test::RelayProcess;

// The answer window opens once the request is out: at 38400 baud a 230-byte
// request takes 60 ms on the wire, as long as the whole window of Send.
TEST(WireTiming, LongRequestGetsItsFullAnswerWindowAndTheNextCommandItsOwnAnswer) {
    RelayProcess relay({"--wire-timing", "--leds", "4"});
    RelayChannel channel;
    CHwtV4Client client(channel.Index());
    ASSERT_EQ(client.FindBaudrate(), 0);
    ASSERT_EQ(client.SetLed(2, 1), 1);

    const std::vector<uint8_t> data(223, 0x55);  // 7 bytes of frame around it make 230
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(client.Send(1, data), 1) << "round " << round;
        EXPECT_EQ(client.DeviceStatus(), static_cast<uint32_t>(kHwtPass));
        int32_t on = -1;
        EXPECT_EQ(client.GetLed(2, on), 1) << "round " << round;
        EXPECT_EQ(on, 1) << "round " << round;
        EXPECT_EQ(client.GetLed(3, on), 1) << "round " << round;
        EXPECT_EQ(on, 0) << "round " << round;
    }
}

}  // namespace
}  // namespace testbay
