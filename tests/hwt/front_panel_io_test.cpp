#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using sim::AnswerScalar;
using sim::AnswerText;
using sim::EncodeHwtAnswer;
using test::Bytes;
using test::ScriptedPeer;
using test::VirtualLineFixture;

class FrontPanelIo : public ::testing::Test {
protected:
    // The relay's hardware-test firmware listens at its start rate.
    FrontPanelIo() { ComBaud(channel_, sim::RelayModel::kHardwareTestStartBaud); }

    // How many requests with `command` went out.
    size_t Sent(uint8_t command) {
        const auto& writes = line_.Line().Writes();
        return static_cast<size_t>(std::count_if(
            writes.begin(), writes.end(), [command](const auto& written) { return written.bytes[2] == command; }));
    }

    sim::RelayModel relay_;
    sim::FrontPanelState& panel_ = relay_.Hardware().frontPanel;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

class ScriptedFrontPanel : public ::testing::Test {
protected:
    // Every request gets the answers `make` builds from its bytes.
    void AnswerWith(ScriptedPeer::Script make) { peer_.SetScript(std::move(make)); }

    ScriptedPeer peer_;
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(FrontPanelIo, LedPatternsSwitchEveryLedInOrder) {
    panel_.leds.resize(5);
    EXPECT_EQ(client_.SetLeds(2), 1);
    EXPECT_EQ(panel_.leds, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_EQ(client_.SetLeds(3), 1);
    EXPECT_EQ(panel_.leds, (std::vector<bool>{false, true, false, true, false}));
    EXPECT_EQ(client_.SetLeds(1), 1);
    EXPECT_EQ(panel_.leds, std::vector<bool>(5, true));
    EXPECT_EQ(client_.SetLeds(0), 1);
    EXPECT_EQ(panel_.leds, std::vector<bool>(5, false));

    const size_t before = line_.Line().Writes().size();
    EXPECT_EQ(client_.SetLeds(4), 0);
    EXPECT_EQ(line_.Line().Writes().size(), before);

    // Only the value 1 means on.
    EXPECT_EQ(client_.SetLed(3, 1), 1);
    EXPECT_EQ(client_.SetLed(3, 2), 1);
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x04, 0x0E, 0x05, 0x03, 0x00, 0x16}));
    EXPECT_FALSE(panel_.leds[2]);
}

TEST_F(ScriptedFrontPanel, SetLedsCountsOnlyTheLedsItSwitchesOn) {
    // Four LEDs; switching one on fails, switching one off works.
    AnswerWith([](const Bytes& request) {
        const size_t fields = request[1] - 2;
        if (fields == 0) return std::vector<Bytes>{EncodeHwtAnswer(0x0E, kHwtPass, {AnswerScalar(4)})};
        return std::vector<Bytes>{sim::StatusAnswer(0x0E, request[5] == 1 ? kHwtFail : kHwtPass)};
    });
    EXPECT_EQ(client_.SetLeds(2), 0);
    EXPECT_EQ(peer_.Requests().size(), 5u);
    EXPECT_EQ(client_.SetLeds(0), 1);
}

TEST_F(FrontPanelIo, GokDisplayAndContrast) {
    EXPECT_EQ(client_.SetGok(1), 1);
    EXPECT_TRUE(panel_.gok);
    EXPECT_EQ(client_.SetGok(5), 1);
    EXPECT_FALSE(panel_.gok);

    EXPECT_EQ(client_.SetDisplay(3), 1);
    EXPECT_EQ(panel_.displayPattern, 3);
    EXPECT_EQ(client_.InitDisplay(), 1);
    EXPECT_EQ(panel_.displayPattern, 0);
    EXPECT_EQ(client_.SetDisplayLight(0), 1);
    EXPECT_FALSE(panel_.displayLight);

    EXPECT_EQ(client_.SetDisplayContrast(40), 1);
    EXPECT_EQ(client_.GetDisplayContrast(), 40);
    EXPECT_EQ(client_.SetDisplayContrast(99), 0);
    EXPECT_EQ(client_.GetDisplayContrast(), 40);
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.GetDisplayContrast(), 0);
}

TEST_F(FrontPanelIo, KeysAndKeySwitches) {
    panel_.keysPressed = {5, 12};
    panel_.keyswitches = {0, 2};
    EXPECT_EQ(client_.EnterKeyboardtest(), 1);
    int32_t pressed = -1, key = -1;
    EXPECT_EQ(client_.GetKeyPressed(pressed, key), 1);
    EXPECT_EQ(std::make_pair(pressed, key), std::make_pair(1, 5));
    EXPECT_EQ(client_.GetKeyPressed(pressed, key), 1);
    EXPECT_EQ(key, 12);
    // No key: the last key read stays where it was.
    key = 77;
    EXPECT_EQ(client_.GetKeyPressed(pressed, key), 1);
    EXPECT_EQ(std::make_pair(pressed, key), std::make_pair(0, 77));
    EXPECT_EQ(client_.ExitKeyboardtest(), 1);

    int32_t state = -1;
    EXPECT_EQ(client_.GetKeyswitch(2, state), 1);
    EXPECT_EQ(state, 2);
    EXPECT_EQ(client_.GetKeyswitch(3, state), 0);
}

TEST_F(FrontPanelIo, RelaysReportStateInfoAndFaults) {
    int32_t count = 0;
    EXPECT_EQ(client_.GetRelayCount(count), 1);
    EXPECT_EQ(count, 12);
    EXPECT_EQ(client_.SetRelay(3, 1), 1);
    int32_t on = -1;
    EXPECT_EQ(client_.GetRelay(3, on), 1);
    EXPECT_EQ(on, 1);

    // A faulty relay answers 2: failure, and `on` keeps its value.
    panel_.relays[4].faulty = true;
    on = -1;
    EXPECT_EQ(client_.GetRelay(5, on), 0);
    EXPECT_EQ(on, -1);
    EXPECT_EQ(client_.SetRelay(5, 1), 0);

    int32_t board = -1, contact = -1;
    EXPECT_EQ(client_.GetRelayInfo(7, board, contact), 1);
    EXPECT_EQ(std::make_pair(board, contact), std::make_pair(2, 0));
    EXPECT_EQ(client_.GetRelayInfo(13, board, contact), 0);
    EXPECT_EQ(std::make_pair(board, contact), std::make_pair(0, 0));

    EXPECT_EQ(client_.SetRelayMask(0x801, 0), 1);
    for (size_t index = 0; index < panel_.relays.size(); ++index) {
        EXPECT_EQ(panel_.relays[index].on, index == 0 || index == 11) << index;
    }
    int32_t a = 1, b = 2, c = 3;
    EXPECT_EQ(client_.GetRelaySpeed(a, b, c), 0);
}

TEST_F(FrontPanelIo, BinaryInputsStateAndInfo) {
    panel_.inputs[4].active = true;
    int32_t count = 0, on = -1;
    EXPECT_EQ(client_.GetBinaryInputCount(count), 1);
    EXPECT_EQ(count, 20);
    EXPECT_EQ(client_.GetBinaryInput(5, on), 1);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(client_.GetBinaryInput(21, on), 0);

    // The info request carries the number one further.
    int32_t threshold = -1, board = -1;
    EXPECT_EQ(client_.GetBinaryInputInfo(9, threshold, board), 1);
    EXPECT_EQ(std::make_pair(threshold, board), std::make_pair(88, 2));
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x04, 0x0C, 0x05, 0x0A, 0x00, 0x1B}));
    EXPECT_EQ(client_.GetBinaryInputInfo(1, threshold, board), 1);
    EXPECT_EQ(std::make_pair(threshold, board), std::make_pair(19, 1));
    EXPECT_EQ(client_.GetBinaryInputInfo(20, threshold, board), 1);
    EXPECT_EQ(client_.GetBinaryInputInfo(21, threshold, board), 0);
}

TEST_F(FrontPanelIo, AvailableInputMasksSetOneBitPerAnsweringInput) {
    panel_.inputs.resize(40);
    int32_t mask0 = 0, mask1 = 0, mask2 = -1;
    EXPECT_EQ(client_.GetBinaryInputMaskAvailable(mask0, mask1, mask2), 1);
    EXPECT_EQ(mask0, -1);
    EXPECT_EQ(mask1, 0xFF);
    EXPECT_EQ(mask2, 0);

    // Inputs beyond the words given are not asked for.
    panel_.inputs.resize(70);
    line_.Line().ClearWrites();
    std::array<uint32_t, 2> bits{};
    EXPECT_EQ(client_.GetBinaryInputMaskAvailable(bits), 1);
    EXPECT_EQ(bits, (std::array<uint32_t, 2>{0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(Sent(0x0C), 65u);

    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.GetBinaryInputMaskAvailable(mask0, mask1, mask2), 0);
    EXPECT_EQ(std::vector<int32_t>({mask0, mask1, mask2}), (std::vector<int32_t>{0, 0, 0}));
}

TEST_F(FrontPanelIo, InputMaskArrayReadsActiveThenFittedInputs) {
    panel_.inputs.resize(40);
    panel_.inputs[0].active = true;
    panel_.inputs[33].active = true;
    int32_t mask0 = 0, mask1 = 0;
    EXPECT_EQ(client_.GetBinaryInputMask(mask0, mask1), 1);
    EXPECT_EQ(std::make_pair(mask0, mask1), std::make_pair(0x1, 0x2));
    EXPECT_EQ(client_.GetBinaryInputMask(), 1);

    std::array<int32_t, 2> first{}, second{};
    EXPECT_EQ(client_.GetBinaryInputMaskArray(first, second, 2), 1);
    EXPECT_EQ(first, (std::array<int32_t, 2>{0x1, 0x2}));
    EXPECT_EQ(second, (std::array<int32_t, 2>{-1, 0xFF}));
}

TEST_F(ScriptedFrontPanel, InputMaskArrayStaysInsideTheSlotsAndSpans) {
    // Twelve fields: four bytes, an empty block, then four-byte words.
    bool answerSecond = true;
    AnswerWith([&answerSecond](const Bytes& request) {
        std::vector<sim::HwtAnswerField> fields = {AnswerScalar(1), AnswerScalar(2), AnswerScalar(3), AnswerScalar(4),
                                                   AnswerText("")};
        for (int32_t word = 5; word < 12; ++word) fields.push_back(AnswerScalar(0x1000 + word));
        const bool second = request[1] > 2;
        if (second && !answerSecond) return std::vector<Bytes>{sim::StatusAnswer(0x11, kHwtFail)};
        return std::vector<Bytes>{EncodeHwtAnswer(0x11, kHwtPass, fields)};
    });
    std::vector<int32_t> first(12, -7), second(12, -7);
    EXPECT_EQ(client_.GetBinaryInputMaskArray(first, second, 12), 1);
    EXPECT_EQ(first, (std::vector<int32_t>{1, 2, 3, 4, 0, 0x1005, 0x1006, 0x1007, 0x1008, 0x1009, -7, -7}));
    EXPECT_EQ(second, first);

    // A count beyond the spans stays inside them; a failed second read zeroes it.
    answerSecond = false;
    std::vector<int32_t> shortFirst(3, -7), shortSecond(2, -7);
    EXPECT_EQ(client_.GetBinaryInputMaskArray(shortFirst, shortSecond, 12), 1);
    EXPECT_EQ(shortFirst, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(shortSecond, (std::vector<int32_t>{0, 0}));
}

TEST_F(ScriptedFrontPanel, BinaryInputAndRelayStatesOutsideZeroAndOneFail) {
    AnswerWith([](const Bytes& request) {
        return std::vector<Bytes>{EncodeHwtAnswer(request[2], kHwtPass, {AnswerScalar(2)})};
    });
    int32_t on = -1;
    EXPECT_EQ(client_.GetBinaryInput(1, on), 0);
    EXPECT_EQ(on, 0);
    on = -1;
    EXPECT_EQ(client_.GetRelay(1, on), 0);
    EXPECT_EQ(on, -1);
}

}  // namespace
}  // namespace testbay
