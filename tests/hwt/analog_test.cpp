#include <gtest/gtest.h>

#include <deque>
#include <limits>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using test::Bytes;
using test::Ints;
using test::PassAnswer;

class Analog : public test::HwtRelayTest {
protected:
    sim::AnalogState& analog_ = relay_.Hardware().analog;
};

TEST_F(Analog, SuppliesAreNamedAndHeldAgainstTheirLimits) {
    std::string name;
    int32_t low = 0, high = 0, value = 0, ok = 0;
    EXPECT_EQ(Outcome(client_.GetSupplyValue(2, name, low, high, value), name, value, low, high),
              std::make_tuple(1, "-5V", -4991, -5250, -4750));
    analog_.supplies[3].identifier = 9;
    EXPECT_EQ(Outcome(client_.GetSupplyValue(4, name, low, high, value), name), std::make_tuple(1, "???"));
    EXPECT_EQ(Outcome(client_.TestSupplies(ok), ok), std::make_tuple(1, 1));
    // A supply just above its high limit fails the test, not the command.
    analog_.supplies[1].value = -4749;
    EXPECT_EQ(Outcome(client_.TestSupplies(ok), ok), std::make_tuple(1, 0));
}

TEST_F(Analog, ChannelNamesAndInfoFollowTypeBoardAndChannelValue) {
    std::string text;
    for (const auto& [channel, name] : {std::pair{1, "1:I1"}, {5, "2:U1"}, {8, "2:M1"}}) {
        EXPECT_EQ(Outcome(client_.GetChannelName(channel, text), text), std::make_tuple(1, name));
    }
    // An unknown type counts from 0; a board of 0xFF travels as four bytes in the fifth field.
    analog_.channels[7].type = 6;
    analog_.channels[7].board = 0xFF;
    EXPECT_EQ(Outcome(client_.GetChannelName(8, text), text), std::make_tuple(1, "255:?81"));
    EXPECT_EQ(Outcome(client_.GetChannelName(9, text), text), std::make_tuple(0, "255:?81"));
    int32_t type = 0, b = 0, c = 0, value = 99, board = 0;
    EXPECT_EQ(client_.GetChannelInfo(6, type, b, c, nullptr, nullptr), 1);

    // A channel beyond the count is read without its channel value.
    Script([](uint8_t command) { return command == 0x49 ? PassAnswer(0x49, {2}) : PassAnswer(0x4D, {4, 7, 8}); });
    line_.Line().ClearWrites();
    EXPECT_EQ(Outcome(client_.GetChannelInfo(3, type, b, c, &value, &board), type, b, c, value, board),
              std::make_tuple(1, 4, 7, 8, 99, 0xFF));
    EXPECT_EQ(Sent(0x49), std::vector<Ints>{{}});
}

TEST_F(Analog, CurrentsVoltagesAndAmplificationRanges) {
    Ints channelAnswer = {1500};
    Script([&channelAnswer](uint8_t command) {
        return command == 0x50 ? PassAnswer(0x50, {0x10013}) : PassAnswer(command, channelAnswer);
    });
    double current = 0.0, voltage = 0.0;
    EXPECT_EQ(Outcome(client_.GetCurrent(1, current), current), std::make_tuple(1, 1.5));
    EXPECT_EQ(Outcome(client_.GetVoltage(1, voltage), voltage), std::make_tuple(1, 1.5));
    channelAnswer = {31, -2500};
    EXPECT_EQ(Outcome(client_.GetCurrent(1, current), current), std::make_tuple(1, -2.5));
    EXPECT_EQ(Outcome(client_.GetVoltage(1, voltage), voltage), std::make_tuple(1, 0.031));

    // The count takes bits 0 to 15 only; the n-th range is sought over all 32.
    int32_t count = 0, range = -1;
    EXPECT_EQ(Outcome(client_.GetChannelAmplifyCount(1, count), count), std::make_tuple(1, 3));
    for (const auto& [n, expected] : {std::pair{1, 1}, {2, 2}, {3, 16}, {4, 0x10000}, {5, 0}, {0, 0}}) {
        EXPECT_EQ(Outcome(client_.GetCurrentAmplify(1, n, range), range), std::make_tuple(1, expected)) << n;
    }
}

TEST_F(Analog, MinmaxValuesAreScaledWithSignedRounding) {
    int32_t min = -1, max = -1;
    EXPECT_EQ(Outcome(client_.GetMinmaxValuesPP(1, 0, min, max), min, max), std::make_tuple(1, 1946, 2150));
    EXPECT_EQ(Outcome(client_.GetMinmaxValues(1, 0, min, max), min, max), std::make_tuple(1, 950, 1050));
    // Division truncates toward zero, and the product does not overflow.
    constexpr int32_t kHalfMax = std::numeric_limits<int32_t>::max() / 2;
    analog_.channels[0].rawMinimum = -1946;
    analog_.channels[0].rawMaximum = kHalfMax;
    EXPECT_EQ(Outcome(client_.GetMinmaxValues(1, 0, min, max), min, max),
              std::make_tuple(1, -949, static_cast<int32_t>((int64_t{kHalfMax} * 1000 + 1024) / 2048)));
    analog_.channels[0].divisor = 0;
    EXPECT_EQ(Outcome(client_.GetMinmaxValues(1, 0, min, max), min, max), std::make_tuple(0, 0, 0));
    min = max = -1;
    EXPECT_EQ(Outcome(client_.GetMinmaxValuesPP(9, 0, min, max), min, max), std::make_tuple(0, 0, 0));
}

TEST_F(Analog, AveragesDivideByTenAndPhaseDropsTheExtremes) {
    // The relay falls silent once the samples are used up.
    std::deque<int32_t> samples = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Script([&samples](uint8_t command) {
        if (samples.empty()) return Bytes{};
        const int32_t sample = samples.front();
        samples.pop_front();
        return command == 0x49 ? PassAnswer(0x49, {31, sample}) : PassAnswer(0x4A, {sample});
    });
    int32_t a = 0, b = 0;
    EXPECT_EQ(Outcome(client_.GetAverageChannelValue(1, a, b), a, b), std::make_tuple(1, 31, 6));
    // Still over ten after a failure.
    samples = {100, 200, 300};
    EXPECT_EQ(Outcome(client_.GetAverageChannelValue(1, a, b), b), std::make_tuple(0, 60));

    double degrees = 0.0;
    samples = {10000, 20000, 30000, 40000, 50000, 60000, 70000, 80000, 90000, 5000};
    EXPECT_EQ(Outcome(client_.GetAveragePhaseDifference(1, 2, degrees), degrees), std::make_tuple(1, 45.0));
    // Ten equal readings: one of them is both largest and smallest.
    samples.assign(10, -12500);
    EXPECT_EQ(Outcome(client_.GetAveragePhaseDifference(1, 2, degrees), degrees), std::make_tuple(1, -12.5));
    samples = {1000};
    EXPECT_EQ(client_.GetAveragePhaseDifference(1, 2, degrees), 0);
}

TEST_F(Analog, FrequenciesTravelScaledWithTheirNominalCode) {
    // Outside the table the nominal code is 0, which the relay takes too.
    for (const double frequency : {50.0, 16.7, 70.0, 55.0}) EXPECT_EQ(client_.SetFrequency(frequency), 1);
    EXPECT_EQ(Sent(0x47), (std::vector<Ints>{{}, {50, 5000}, {}, {16, 1670}, {}, {0, 7000}, {}, {60, 5500}}));
    int32_t amplitude = -1;
    EXPECT_EQ(Outcome(client_.GetAmpl(2, 55.0, amplitude), amplitude), std::make_tuple(1, 1001));
    EXPECT_EQ(client_.SetAduMode(2, 60.0), 1);
    EXPECT_EQ(Sent(0x45), (std::vector<Ints>{{2, 6000}}));

    // Without the scale nothing else is sent.
    line_.Line().ClearWrites();
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.SetFrequency(50.0) + client_.GetAmpl(1, 50.0, amplitude) + client_.SetAduMode(1, 50.0), 0);
    EXPECT_TRUE(Sent(0x70).empty() && Sent(0x45).empty());
    for (const auto& scalars : Sent(0x47)) EXPECT_TRUE(scalars.empty());
}

TEST_F(Analog, ThermoboxTextIsReadOnceAndCutToTheCallersSize) {
    std::string text;
    EXPECT_EQ(client_.ThbInit(1), 1);
    EXPECT_EQ(Outcome(client_.ThbTemp(1, text, 256), text), std::make_tuple(1, "023 024 022 041 038 ????"));
    EXPECT_EQ(Outcome(client_.ThbTemp(1, text, 8), text), std::make_tuple(1, "023 024 "));
    line_.Line().ClearWrites();
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(Outcome(client_.ThbTemp(1, text, 256), text), std::make_tuple(0, ""));
    EXPECT_EQ(line_.Line().Writes().size(), 1u);
    EXPECT_EQ(client_.AttemptLimit(), CHwtV4Client::kDefaultAttempts);
}

TEST_F(Analog, WsTestReportsCountsOrWhyItFailed) {
    int32_t ok = 1, x = -1, y = -1, z = -1;
    std::string text;
    EXPECT_EQ(Outcome(client_.WsTest(0, 1, &ok, &x, &y, &text, &z), ok, text, z, x),
              std::make_tuple(0, 0, "Kanal nicht initialisiert", 1, -1));
    EXPECT_EQ(client_.WsInit(0, 3), 1);
    EXPECT_EQ(Outcome(client_.WsTest(0, 1, &ok, &x, &y, &text, &z), ok, x, y, text, z),
              std::make_tuple(1, 1, 100, 100, "", 0));
    analog_.ws[0].linkUp = false;
    EXPECT_EQ(Outcome(client_.WsTest(0, 1, &ok, &x, &y, &text, &z), ok, text, z, x, y),
              std::make_tuple(0, 0, "Kein Empfang", -1, 100, 0));
    // Only the timed mode reports counts.
    x = y = 7;
    EXPECT_EQ(Outcome(client_.WsTest(0, 0, &ok, &x, &y, &text, &z), x, y), std::make_tuple(0, 7, 7));
    EXPECT_EQ(client_.WsTest(0, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Analog, SabStatusCopiesNoMoreThanTheCallerAndTheFieldSlotsHold) {
    Ints values(12, -7), two(2);
    int32_t count = 0;
    EXPECT_EQ(Outcome(client_.SabStatus(values, count), count, values),
              std::make_tuple(1, 4, Ints{1, 0, 2048, 0, -7, -7, -7, -7, -7, -7, -7, -7}));
    EXPECT_EQ(Outcome(client_.SabStatus(two, count), count), std::make_tuple(1, 2));

    // Twelve fields: four four-byte words, a block, seven more words.
    std::vector<sim::HwtAnswerField> fields;
    for (int32_t w = 1; w <= 12; ++w) fields.push_back(w == 5 ? sim::AnswerText("") : sim::AnswerScalar(0x100 + w));
    Script([&fields](uint8_t command) { return sim::EncodeHwtAnswer(command, kHwtPass, fields); });
    EXPECT_EQ(Outcome(client_.SabStatus(values, count), count, values),
              std::make_tuple(1, 10, Ints{0x101, 0x102, 0x103, 0x104, 0, 0x106, 0x107, 0x108, 0x109, 0x10A, -7, -7}));
    EXPECT_EQ(client_.FieldCount(), 12u);
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(Outcome(client_.SabStatus(values, count), count), std::make_tuple(0, 0));
}

}  // namespace
}  // namespace testbay
