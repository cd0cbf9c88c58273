#include <gtest/gtest.h>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using test::Bytes;

// Operations that ask once for a count and then walk every number up to it.
// A relay that sends a huge count and then falls silent must not hold the
// caller for one time-out per number.
class CountWalk : public test::HwtRelayTest {
protected:
    static constexpr int32_t kHugeCount = 100000;

    // Only the first count request (`command` without fields) is answered.
    void AnswerOnlyTheCount(uint8_t command) {
        peer_.SetScript([command, answered = false](const Bytes& request) mutable {
            if (answered || request[2] != command || request[1] != 2) return std::vector<Bytes>{};
            answered = true;
            return std::vector<Bytes>{test::PassAnswer(command, {kHugeCount})};
        });
        line_.Line().ClearWrites();
    }
    size_t Written() { return line_.Line().Writes().size(); }
};

TEST_F(CountWalk, StopsOnceTheRelayFallsSilent) {
    AnswerOnlyTheCount(0x0E);
    EXPECT_EQ(client_.SetLeds(1), 0);
    // The count, then one LED with its repeats until ten time-outs in a row.
    EXPECT_LE(Written(), 12u);

    AnswerOnlyTheCount(0x49);
    int32_t packed = 0, channel = 0;
    EXPECT_EQ(client_.FindCalibrationChannel(packed, channel), 0);
    // Seven board references and the count before the walk.
    EXPECT_LE(Written(), 7u * 4 + 1 + 10);
}

TEST_F(CountWalk, GoesOnWhileTheRelayAnswers) {
    // A relay that answers again after a silent LED is asked for the rest.
    int ledRequests = 0;
    peer_.SetScript([&](const Bytes& request) {
        if (request[1] == 2) return std::vector<Bytes>{test::PassAnswer(0x0E, {5})};
        if (++ledRequests <= 4) return std::vector<Bytes>{};
        return std::vector<Bytes>{sim::StatusAnswer(0x0E, kHwtPass)};
    });
    EXPECT_EQ(client_.SetLeds(1), 1);
    EXPECT_EQ(Sent(0x0E).size(), 1u + 4 + 4);
}

}  // namespace
}  // namespace testbay
