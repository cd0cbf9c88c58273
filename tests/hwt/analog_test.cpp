#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <tuple>
#include <vector>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using sim::AnswerScalar;
using sim::EncodeHwtAnswer;
using sim::HwtRequestFrame;
using test::Bytes;
using test::ScriptedPeer;
using test::VirtualLineFixture;

// The requests of one command the PC wrote, decoded as the relay reads them.
std::vector<HwtRequestFrame> SentRequests(const sim::MemoryLine& line, uint8_t command) {
    sim::HwtRequestAssembler assembler;
    std::vector<HwtRequestFrame> requests;
    for (const auto& written : line.Writes()) {
        for (auto& request : assembler.Feed(written.bytes.data(), written.bytes.size())) {
            if (request.command == command) requests.push_back(std::move(request));
        }
    }
    return requests;
}

std::vector<std::vector<int32_t>> SentScalars(const sim::MemoryLine& line, uint8_t command) {
    std::vector<std::vector<int32_t>> scalars;
    for (const auto& request : SentRequests(line, command)) scalars.push_back(request.scalars);
    return scalars;
}

// A relay that answers every decoded request with what `answer` makes of it.
ScriptedPeer::Script Answering(std::function<Bytes(const HwtRequestFrame&)> answer) {
    auto assembler = std::make_shared<sim::HwtRequestAssembler>();
    return [assembler, answer](const Bytes& bytes) {
        std::vector<Bytes> answers;
        for (const auto& request : assembler->Feed(bytes.data(), bytes.size())) answers.push_back(answer(request));
        return answers;
    };
}

Bytes Pass(uint8_t command, const std::vector<int32_t>& values) {
    std::vector<sim::HwtAnswerField> fields;
    for (const int32_t value : values) fields.push_back(AnswerScalar(value));
    return EncodeHwtAnswer(command, kHwtPass, fields);
}

class Analog : public ::testing::Test {
protected:
    // The PC side at the relay's start rate, as the baud-rate search leaves it.
    void SetUp() override {
        ComParity(channel_, kParityNone, kStopOne);
        ComBaud(channel_, 38400);
    }
    sim::RelayModel relay_;
    sim::AnalogState& analog_ = relay_.Hardware().analog;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

class ScriptedAnalog : public ::testing::Test {
protected:
    ScriptedPeer peer_;
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(Analog, SuppliesAreNamedAndHeldAgainstTheirLimits) {
    int32_t count = 0;
    EXPECT_EQ(client_.GetSupplyCount(count), 1);
    EXPECT_EQ(count, 4);
    std::string name;
    int32_t low = 0;
    int32_t high = 0;
    int32_t value = 0;
    EXPECT_EQ(client_.GetSupplyValue(2, name, low, high, value), 1);
    EXPECT_EQ(std::tie(name, value, low, high), std::make_tuple(std::string("-5V"), -4991, -5250, -4750));
    analog_.supplies[3].identifier = 9;
    EXPECT_EQ(client_.GetSupplyValue(4, name, low, high, value), 1);
    EXPECT_EQ(name, "???");
    EXPECT_EQ(client_.GetSupplyValue(5, name, low, high, value), 0);

    int32_t ok = 0;
    EXPECT_EQ(client_.TestSupplies(ok), 1);
    EXPECT_EQ(ok, 1);
    // A supply just above its high limit fails the test, not the command.
    analog_.supplies[1].value = -4749;
    EXPECT_EQ(client_.TestSupplies(ok), 1);
    EXPECT_EQ(ok, 0);
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.TestSupplies(ok), 0);
}

TEST_F(Analog, ChannelNamesFollowTypeBoardAndChannelValue) {
    std::string text = "old";
    EXPECT_EQ(client_.GetChannelName(1, text), 1);
    EXPECT_EQ(text, "1:I1");
    EXPECT_EQ(client_.GetChannelName(5, text), 1);
    EXPECT_EQ(text, "2:U1");
    EXPECT_EQ(client_.GetChannelName(8, text), 1);
    EXPECT_EQ(text, "2:M1");
    analog_.channels[7].type = 6;
    EXPECT_EQ(client_.GetChannelName(8, text), 1);
    EXPECT_EQ(text, "2:?81");
    // A board of 0xFF travels as four bytes in the fifth field.
    analog_.channels[0].board = 0xFF;
    EXPECT_EQ(client_.GetChannelName(1, text), 1);
    EXPECT_EQ(text, "255:I1");
    EXPECT_EQ(client_.GetChannelName(9, text), 0);
    EXPECT_EQ(text, "255:I1");

    int32_t type = 0;
    int32_t b = 0;
    int32_t c = 0;
    int32_t value = 0;
    int32_t board = 0;
    EXPECT_EQ(client_.GetChannelInfo(5, type, b, c, &value, &board), 1);
    EXPECT_EQ(std::tie(type, b, c, value, board), std::make_tuple(4, 35, 1000, 21, 2));
    EXPECT_EQ(client_.GetChannelInfo(6, type, b, c, nullptr, nullptr), 1);
    EXPECT_NE(line_.Trace().find("CHwtV4Client::GetChannelInfo\n"), std::string::npos);
    EXPECT_NE(line_.Trace().find("channel=6\n"), std::string::npos);
}

TEST_F(ScriptedAnalog, ChannelBeyondTheCountIsReadWithoutItsChannelValue) {
    peer_.SetScript(Answering([](const HwtRequestFrame& request) {
        if (request.command == 0x49) return Pass(0x49, {2});
        return Pass(0x4D, {4, 7, 8});
    }));
    int32_t type = 0;
    int32_t b = 0;
    int32_t c = 0;
    int32_t value = 99;
    int32_t board = 0;
    EXPECT_EQ(client_.GetChannelInfo(3, type, b, c, &value, &board), 1);
    EXPECT_EQ(std::tie(type, b, c, value, board), std::make_tuple(4, 7, 8, 99, 0xFF));
    EXPECT_EQ(SentScalars(line_.Line(), 0x49), (std::vector<std::vector<int32_t>>{{}}));
}

TEST_F(ScriptedAnalog, CurrentsVoltagesAndAmplificationRanges) {
    std::vector<int32_t> channelAnswer = {1500};
    peer_.SetScript(Answering([&channelAnswer](const HwtRequestFrame& request) {
        if (request.command == 0x50) return Pass(0x50, {0x10013});
        return Pass(request.command, channelAnswer);
    }));
    double value = 0.0;
    EXPECT_EQ(client_.GetCurrent(1, value), 1);
    EXPECT_DOUBLE_EQ(value, 1.5);
    EXPECT_EQ(client_.GetVoltage(1, value), 1);
    EXPECT_DOUBLE_EQ(value, 1.5);
    channelAnswer = {31, -2500};
    EXPECT_EQ(client_.GetCurrent(1, value), 1);
    EXPECT_DOUBLE_EQ(value, -2.5);
    EXPECT_EQ(client_.GetVoltage(1, value), 1);
    EXPECT_DOUBLE_EQ(value, 0.031);

    // Bits from 16 on are no ranges.
    int32_t count = 0;
    EXPECT_EQ(client_.GetChannelAmplifyCount(1, count), 1);
    EXPECT_EQ(count, 3);
    int32_t range = -1;
    for (const auto& [n, expected] : {std::pair{1, 1}, {2, 2}, {3, 16}, {4, 0}, {0, 0}}) {
        EXPECT_EQ(client_.GetCurrentAmplify(1, n, range), 1);
        EXPECT_EQ(range, expected) << n;
    }
}

TEST_F(Analog, MinmaxValuesAreScaledWithSignedRounding) {
    int32_t min = -1;
    int32_t max = -1;
    EXPECT_EQ(client_.GetMinmaxValuesPP(1, 0, min, max), 1);
    EXPECT_EQ(std::tie(min, max), std::make_tuple(1946, 2150));
    EXPECT_EQ(client_.GetMinmaxValues(1, 0, min, max), 1);
    EXPECT_EQ(std::tie(min, max), std::make_tuple(950, 1050));
    // Division truncates toward zero, and the product does not overflow.
    analog_.channels[0].rawMinimum = -1946;
    analog_.channels[0].rawMaximum = std::numeric_limits<int32_t>::max() / 2;
    EXPECT_EQ(client_.GetMinmaxValues(1, 0, min, max), 1);
    EXPECT_EQ(min, -949);
    EXPECT_EQ(max, (int64_t{std::numeric_limits<int32_t>::max() / 2} * 1000 + 1024) / 2048);

    analog_.channels[0].divisor = 0;
    EXPECT_EQ(client_.GetMinmaxValues(1, 0, min, max), 0);
    EXPECT_EQ(std::tie(min, max), std::make_tuple(0, 0));
    EXPECT_EQ(client_.GetMinmaxValues(9, 0, min, max), 0);

    EXPECT_EQ(client_.ResetMinmaxValues(), 1);
    EXPECT_EQ(client_.GetMinmaxValuesPP(2, 0, min, max), 1);
    EXPECT_EQ(std::tie(min, max), std::make_tuple(2050, 2050));
    EXPECT_EQ(client_.GetMinmaxValuesPP(9, 0, min, max), 0);
    EXPECT_EQ(std::tie(min, max), std::make_tuple(0, 0));
}

TEST_F(ScriptedAnalog, AverageChannelValueDividesByTenEvenAfterAFailure) {
    std::vector<int32_t> samples = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    size_t next = 0;
    peer_.SetScript(Answering([&](const HwtRequestFrame&) {
        return next < samples.size() ? Pass(0x49, {31, samples[next++]}) : Bytes{};
    }));
    int32_t a = 0;
    int32_t b = 0;
    EXPECT_EQ(client_.GetAverageChannelValue(1, a, b), 1);
    EXPECT_EQ(std::tie(a, b), std::make_tuple(31, 6));
    EXPECT_EQ(SentRequests(line_.Line(), 0x49).size(), 10u);

    samples = {100, 200, 300};
    next = 0;
    EXPECT_EQ(client_.GetAverageChannelValue(1, a, b), 0);
    EXPECT_EQ(b, 60);
}

TEST_F(ScriptedAnalog, AveragePhaseDropsTheLargestAndTheSmallestReading) {
    std::vector<int32_t> samples;
    size_t next = 0;
    peer_.SetScript(Answering(
        [&](const HwtRequestFrame&) { return next < samples.size() ? Pass(0x4A, {samples[next++]}) : Bytes{}; }));
    double degrees = 0.0;
    samples = {10000, 20000, 30000, 40000, 50000, 60000, 70000, 80000, 90000, 5000};
    EXPECT_EQ(client_.GetAveragePhaseDifference(1, 2, degrees), 1);
    EXPECT_DOUBLE_EQ(degrees, 45.0);

    // Ten equal readings: one of them is both largest and smallest.
    samples.assign(10, -12500);
    next = 0;
    EXPECT_EQ(client_.GetAveragePhaseDifference(1, 2, degrees), 1);
    EXPECT_DOUBLE_EQ(degrees, -12.5);

    samples = {1000};
    next = 0;
    EXPECT_EQ(client_.GetAveragePhaseDifference(1, 2, degrees), 0);
}

TEST_F(Analog, FrequenciesTravelScaledWithTheirNominalCode) {
    EXPECT_EQ(client_.SetFrequency(50.0), 1);
    EXPECT_EQ(client_.SetFrequency(16.7), 1);
    EXPECT_EQ(client_.SetFrequency(55.0), 1);
    EXPECT_EQ(client_.SetFrequency(70.0), 0);
    EXPECT_EQ(SentScalars(line_.Line(), 0x47),
              (std::vector<std::vector<int32_t>>{{}, {50, 5000}, {}, {16, 1670}, {}, {60, 5500}, {}, {0, 7000}}));
    EXPECT_EQ(analog_.frequency, 5500);

    int32_t amplitude = -1;
    EXPECT_EQ(client_.GetAmpl(2, 55.0, amplitude), 1);
    EXPECT_EQ(amplitude, 1001);
    EXPECT_EQ(client_.GetAmpl(2, 150.0, amplitude), 1);
    EXPECT_EQ(amplitude, 0);
    EXPECT_EQ(client_.SetAduMode(2, 60.0), 1);
    EXPECT_EQ(SentScalars(line_.Line(), 0x45), (std::vector<std::vector<int32_t>>{{2, 6000}}));
    EXPECT_EQ(client_.SetAduMode(7), 0);

    // Without the scale nothing else is sent.
    line_.Line().ClearWrites();
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.SetFrequency(50.0), 0);
    EXPECT_EQ(client_.GetAmpl(1, 50.0, amplitude), 0);
    EXPECT_EQ(client_.SetAduMode(1, 50.0), 0);
    EXPECT_EQ(SentRequests(line_.Line(), 0x70).size(), 0u);
    EXPECT_EQ(SentRequests(line_.Line(), 0x45).size(), 0u);
    for (const auto& scalars : SentScalars(line_.Line(), 0x47)) EXPECT_TRUE(scalars.empty());
}

TEST_F(Analog, ThermoboxTextIsReadOnceAndCutToTheCallersSize) {
    std::string text = "old";
    EXPECT_EQ(client_.ThbTemp(1, text, 256), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(client_.ThbInit(1), 1);
    EXPECT_EQ(client_.ThbTemp(1, text, 256), 1);
    EXPECT_EQ(text, "023 024 022 041 038 ????");
    EXPECT_EQ(client_.ThbTemp(1, text, 8), 1);
    EXPECT_EQ(text, "023 024 ");

    line_.Line().ClearWrites();
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.ThbTemp(1, text, 256), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(line_.Line().Writes().size(), 1u);
    EXPECT_EQ(client_.AttemptLimit(), CHwtV4Client::kDefaultAttempts);
}

TEST_F(Analog, WsTestReportsCountsOrWhyItFailed) {
    int32_t ok = 1;
    int32_t x = -1;
    int32_t y = -1;
    int32_t z = -1;
    std::string text;
    EXPECT_EQ(client_.WsTest(0, 1, &ok, &x, &y, &text, &z), 0);
    EXPECT_EQ(std::tie(ok, text, z, x), std::make_tuple(0, std::string("Kanal nicht initialisiert"), 1, -1));

    EXPECT_EQ(client_.WsInit(0, 3), 1);
    EXPECT_EQ(client_.WsTest(0, 1, &ok, &x, &y, &text, &z), 1);
    EXPECT_EQ(std::tie(ok, x, y, text, z), std::make_tuple(1, 100, 100, std::string(), 0));

    analog_.ws[0].linkUp = false;
    EXPECT_EQ(client_.WsTest(0, 1, &ok, &x, &y, &text, &z), 0);
    EXPECT_EQ(std::tie(ok, text, z, x, y), std::make_tuple(0, std::string("Kein Empfang"), -1, 100, 0));
    x = y = 7;
    EXPECT_EQ(client_.WsTest(0, 0, &ok, &x, &y, &text, &z), 0);
    EXPECT_EQ(std::tie(x, y), std::make_tuple(7, 7));
    EXPECT_EQ(client_.WsTest(0, 1, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Analog, SabStatusCopiesNoMoreThanTheCallerHolds) {
    EXPECT_EQ(client_.SabPara(1, 2, 3, 4, 500000), 1);
    EXPECT_EQ(analog_.sab.parameters, (std::array<int32_t, 5>{1, 2, 3, 4, 500000}));
    std::vector<int32_t> values(8, -7);
    int32_t count = 0;
    EXPECT_EQ(client_.SabStatus(values, count), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(values, (std::vector<int32_t>{1, 0, 2048, 0, -7, -7, -7, -7}));
    std::vector<int32_t> two(2);
    EXPECT_EQ(client_.SabStatus(two, count), 1);
    EXPECT_EQ(count, 2);
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.SabStatus(values, count), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(ScriptedAnalog, SabStatusStopsAtTheTenFieldSlots) {
    // Twelve fields: four typed words, a block, seven four-byte words.
    Bytes fields;
    for (uint8_t word = 1; word <= 4; ++word) fields.insert(fields.end(), {0, 0, 0, word});
    fields.insert(fields.end(), {4, 0, 0, 0, 0});
    for (uint8_t word = 6; word <= 12; ++word) fields.insert(fields.end(), {0, 0, 0, word});
    Bytes answer{0x68, static_cast<uint8_t>(3 + fields.size()), 0x6A, kHwtPass, 0xAA};
    answer.insert(answer.end(), fields.begin(), fields.end());
    uint8_t sum = 0;
    for (size_t index = 2; index < answer.size(); ++index) sum = static_cast<uint8_t>(sum + answer[index]);
    answer.push_back(sum);
    peer_.SetScript([answer](const Bytes&) { return std::vector<Bytes>{answer}; });

    std::vector<int32_t> values(16, -7);
    int32_t count = 0;
    EXPECT_EQ(client_.SabStatus(values, count), 1);
    EXPECT_EQ(client_.FieldCount(), 12u);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(values, (std::vector<int32_t>{1, 2, 3, 4, 0, 6, 7, 8, 9, 10, -7, -7, -7, -7, -7, -7}));
}

}  // namespace
}  // namespace testbay
