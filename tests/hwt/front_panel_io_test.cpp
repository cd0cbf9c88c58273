#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using sim::AnswerScalar;
using sim::EncodeHwtAnswer;
using sim::HwtAnswerField;
using test::Bytes;
using test::Ints;

class FrontPanelIo : public test::HwtRelayTest {
protected:
    sim::FrontPanelState& panel_ = relay_.Hardware().frontPanel;
};

TEST_F(FrontPanelIo, SetLedsSwitchesEveryLedAndCountsOnlyThoseSwitchedOn) {
    panel_.leds.resize(5);
    for (const auto& [pattern, leds] : {std::pair{2, "10101"}, {3, "01010"}, {1, "11111"}, {0, "00000"}}) {
        EXPECT_EQ(client_.SetLeds(pattern), 1);
        for (size_t led = 0; led < 5; ++led) EXPECT_EQ(panel_.leds[led], leds[led] == '1') << pattern << led;
    }
    EXPECT_EQ(client_.SetLeds(4), 0);
    EXPECT_EQ(Sent(0x0E).size(), 4u * 6);
    // Only the value 1 means on.
    EXPECT_EQ(client_.SetLed(3, 2), 1);
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x04, 0x0E, 0x05, 0x03, 0x00, 0x16}));

    // Four LEDs; switching one on fails, switching one off works.
    peer_.SetScript([](const Bytes& request) {
        if (request[1] == 2) return std::vector<Bytes>{test::PassAnswer(0x0E, {4})};
        return std::vector<Bytes>{sim::StatusAnswer(0x0E, request[5] == 1 ? kHwtFail : kHwtPass)};
    });
    line_.Line().ClearWrites();
    EXPECT_EQ(client_.SetLeds(2), 0);
    EXPECT_EQ(line_.Line().Writes().size(), 5u);
    EXPECT_EQ(client_.SetLeds(0), 1);
}

TEST_F(FrontPanelIo, SetLedsWalksTheCountItsOwnAnswerCarriedWhateverItsStatus) {
    // Every other command leaves 1600 in the first field; a count without a
    // status is lost, and asked for four times.
    std::optional<uint8_t> countStatus;
    std::vector<HwtAnswerField> countFields;
    peer_.SetScript([&](const Bytes& request) {
        if (request[2] != 0x0E) return std::vector<Bytes>{test::PassAnswer(request[2], {1600})};
        if (request[1] != 2) return std::vector<Bytes>{sim::StatusAnswer(0x0E, kHwtPass)};
        if (!countStatus) return std::vector<Bytes>{};
        return std::vector<Bytes>{EncodeHwtAnswer(0x0E, *countStatus, countFields)};
    });
    // Answers without a field leave the old count: nothing is walked.
    const std::tuple<std::optional<uint8_t>, std::vector<HwtAnswerField>, size_t> refused[] = {
        {kHwtFail, {}, 1}, {kHwtCommandUnknown, {}, 1}, {kHwtPass, {}, 1}, {kHwtDone, {}, 1}, {std::nullopt, {}, 4}};
    for (const auto& [status, fields, sent] : refused) {
        countStatus = status;
        countFields = fields;
        int32_t time = 0;
        ASSERT_EQ(client_.GetWatchdogTime(time, 0), 1);
        line_.Line().ClearWrites();
        EXPECT_EQ(client_.SetLeds(1), 0) << int{status.value_or(0)};
        EXPECT_EQ(line_.Line().Writes().size(), sent) << int{status.value_or(0)};
    }
    // A count the answer carried is this call's, whatever the status.
    for (const uint8_t status : {kHwtPass, kHwtDone, kHwtFail}) {
        countStatus = status;
        countFields = {AnswerScalar(3)};
        int32_t time = 0;
        ASSERT_EQ(client_.GetWatchdogTime(time, 0), 1);
        line_.Line().ClearWrites();
        EXPECT_EQ(client_.SetLeds(1), 1) << int{status};
        EXPECT_EQ(line_.Line().Writes().size(), 4u) << int{status};
    }
}

TEST_F(FrontPanelIo, GokContrastAndKeys) {
    // Only the value 1 means on.
    EXPECT_EQ(Outcome(client_.SetGok(1), panel_.gok), std::make_tuple(1, true));
    EXPECT_EQ(Outcome(client_.SetGok(5), panel_.gok), std::make_tuple(1, false));
    EXPECT_EQ(client_.SetDisplayContrast(40), 1);
    EXPECT_EQ(client_.GetDisplayContrast(), 40);

    panel_.keysPressed = {5};
    int32_t pressed = -1, key = -1;
    EXPECT_EQ(Outcome(client_.GetKeyPressed(pressed, key), pressed, key), std::make_tuple(1, 1, 5));
    // No key: the last key read stays where it was.
    key = 77;
    EXPECT_EQ(Outcome(client_.GetKeyPressed(pressed, key), pressed, key), std::make_tuple(1, 0, 77));

    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.GetDisplayContrast(), 0);
}

TEST_F(FrontPanelIo, RelaysReportStateInfoAndFaults) {
    int32_t on = -1, board = -1, contact = -1;
    EXPECT_EQ(client_.SetRelay(3, 1), 1);
    EXPECT_EQ(Outcome(client_.GetRelay(3, on), on), std::make_tuple(1, 1));
    // A faulty relay answers 2: failure, and `on` keeps its value.
    panel_.relays[4].faulty = true;
    on = -1;
    EXPECT_EQ(Outcome(client_.GetRelay(5, on), on), std::make_tuple(0, -1));
    EXPECT_EQ(Outcome(client_.GetRelayInfo(7, board, contact), board, contact), std::make_tuple(1, 2, 0));
    EXPECT_EQ(Outcome(client_.GetRelayInfo(13, board, contact), board, contact), std::make_tuple(0, 0, 0));
}

TEST_F(FrontPanelIo, BinaryInputsStateAndInfo) {
    panel_.inputs[4].active = true;
    int32_t on = -1, threshold = -1, board = -1;
    EXPECT_EQ(Outcome(client_.GetBinaryInput(5, on), on), std::make_tuple(1, 1));
    // The info request carries the number one further.
    EXPECT_EQ(Outcome(client_.GetBinaryInputInfo(9, threshold, board), threshold, board), std::make_tuple(1, 88, 2));
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x04, 0x0C, 0x05, 0x0A, 0x00, 0x1B}));
    EXPECT_EQ(client_.GetBinaryInputInfo(21, threshold, board), 0);

    // A state outside 0 and 1 fails and reads as off.
    Script([](uint8_t command) { return test::PassAnswer(command, {2}); });
    EXPECT_EQ(Outcome(client_.GetBinaryInput(1, on), on), std::make_tuple(0, 0));
}

TEST_F(FrontPanelIo, InputMasksMarkAnsweringInputsAndStayWithinTheSlotsAndSpans) {
    panel_.inputs.resize(40);
    panel_.inputs[0].active = true;
    panel_.inputs[33].active = true;
    Ints first(2), second(2);
    EXPECT_EQ(Outcome(client_.GetBinaryInputMaskArray(first, second, 2), first, second),
              std::make_tuple(1, Ints{0x1, 0x2}, Ints{-1, 0xFF}));
    int32_t mask0 = 0, mask1 = 0, mask2 = -1;
    EXPECT_EQ(Outcome(client_.GetBinaryInputMaskAvailable(mask0, mask1, mask2), mask0, mask1, mask2),
              std::make_tuple(1, -1, 0xFF, 0));
    // Inputs beyond the words given are not asked for.
    panel_.inputs.resize(70);
    line_.Line().ClearWrites();
    std::array<uint32_t, 2> bits{};
    EXPECT_EQ(Outcome(client_.GetBinaryInputMaskAvailable(bits), bits[0], bits[1]),
              std::make_tuple(1, 0xFFFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(Sent(0x0C).size(), 65u);

    // Twelve fields: four bytes, an empty block, then four-byte words.
    bool answerSecond = true;
    peer_.SetScript([&answerSecond](const Bytes& request) {
        std::vector<sim::HwtAnswerField> fields = {AnswerScalar(1), AnswerScalar(2), AnswerScalar(3), AnswerScalar(4),
                                                   sim::AnswerText("")};
        for (int32_t word = 5; word < 12; ++word) fields.push_back(AnswerScalar(0x1000 + word));
        if (request[1] > 2 && !answerSecond) return std::vector<Bytes>{sim::StatusAnswer(0x11, kHwtFail)};
        return std::vector<Bytes>{EncodeHwtAnswer(0x11, kHwtPass, fields)};
    });
    Ints all1(12, -7), all2(12, -7);
    const Ints slots{1, 2, 3, 4, 0, 0x1005, 0x1006, 0x1007, 0x1008, 0x1009, -7, -7};
    EXPECT_EQ(Outcome(client_.GetBinaryInputMaskArray(all1, all2, 12), all1, all2), std::make_tuple(1, slots, slots));
    // A count beyond the spans stays inside them; a failed second read zeroes it.
    answerSecond = false;
    Ints short1(3, -7), short2(2, -7);
    EXPECT_EQ(Outcome(client_.GetBinaryInputMaskArray(short1, short2, 12), short1, short2),
              std::make_tuple(1, Ints{1, 2, 3}, Ints{0, 0}));

    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(Outcome(client_.GetBinaryInputMaskAvailable(mask0, mask1, mask2), mask0, mask1, mask2),
              std::make_tuple(0, 0, 0, 0));
}

}  // namespace
}  // namespace testbay
