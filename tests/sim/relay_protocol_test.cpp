#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "bootlink/update_receivers.h"
#include "device/vdew_client.h"
#include "hwt/hwt_client.h"
#include "hwt/hwt_request.h"
#include "protocol/crc.h"
#include "protocol/hwt_commands.h"
#include "sim/hwt_codec.h"
#include "sim/hwt_firmware.h"
#include "sim/memory_line.h"
#include "sim/relay_model.h"
#include "support/hwt_relay.h"

namespace testbay::sim {
namespace {

using Bytes = std::vector<uint8_t>;

using RelayFirmware = test::HwtRelayTest;

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

// Settings that no later answer shows: the relay keeps nothing of them, but
// it still refuses fields it would not take.
TEST(RelayModelAnswers, SettingsNoAnswerShowsStillCheckTheirFields) {
    RelayHardware hardware;
    HwtFirmware firmware(hardware);
    const auto status = [&firmware](uint8_t command, std::vector<int32_t> scalars) {
        HwtRequestFrame request;
        request.command = command;
        request.scalars = std::move(scalars);
        const Bytes answer = firmware.Answer(request);
        return answer.size() > 3 ? answer[3] : -1;
    };
    struct Case {
        uint8_t command;
        std::vector<int32_t> scalars;
        int expected;
    };
    const Case cases[] = {
        {kDisplayCommand, {}, kHwtPass},           {kDisplayCommand, {7}, kHwtPass},
        {kDisplayCommand, {8}, kHwtFail},          {kDisplayCommand, {-1}, kHwtFail},
        {kTimeCodeFormatCommand, {3}, kHwtPass},   {kTimeCodeFormatCommand, {4}, kHwtFail},
        {kTimeCodeFormatCommand, {}, kHwtFail},    {kHdlcTriggerCommand, {1, 2}, kHwtPass},
        {kHdlcTriggerCommand, {1}, kHwtFail},      {kHdlcBinCommand, {1, 2}, kHwtPass},
        {kHdlcBinCommand, {1}, kHwtFail},          {kSabParaCommand, {1, 2, 3, 4, 5}, kHwtPass},
        {kSabParaCommand, {1, 2, 3, 4}, kHwtFail}, {kOffsetModeCommand, {0}, kHwtPass},
        {kOffsetModeCommand, {3}, kHwtPass},       {kOffsetModeCommand, {1}, kHwtFail},
        {kOffsetModeCommand, {}, kHwtFail},        {kAduModeCommand, {3}, kHwtPass},
        {kAduModeCommand, {4}, kHwtFail},          {kFrequencyCommand, {60, 6000}, kHwtPass},
        {kFrequencyCommand, {55, 5500}, kHwtFail}, {kStoreCalibrationCommand, {}, kHwtPass},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(status(c.command, c.scalars), c.expected)
            << "command " << int{c.command} << " with " << c.scalars.size() << " fields";
    }
}

TEST_F(RelayFirmware, AnEmptyReferenceTextKeepsTheFieldsAfterIt) {
    int32_t sid = 0, value = 0;
    std::string text = "?";
    EXPECT_EQ(client_.SetCalRef(1, "", 256), 1);
    EXPECT_EQ(Outcome(client_.GetCalPara(1, sid, text, value), text, value), std::make_tuple(1, "", 256));
    // Its first two bytes would make a long length, but the block would not fit.
    EXPECT_EQ(client_.SetCalRef(2, "", 0x01000000), 1);
    EXPECT_EQ(Outcome(client_.GetCalPara(2, sid, text, value), value), std::make_tuple(1, 0x01000000));
    // A text above 240 bytes still has its three-byte prefix.
    EXPECT_EQ(client_.SetCalRef(3, std::string(241, 'k'), 7), 1);
    EXPECT_EQ(relay_.Hardware().analog.boardCalibration[3].referenceText, std::string(241, 'k'));
    EXPECT_EQ(relay_.Hardware().analog.boardCalibration[3].referenceValue, 7);
}

// What the PC reads from an answer with these fields.
struct ReadBack {
    uint32_t count;
    std::vector<int32_t> values;
    std::vector<std::string> texts;
};

ReadBack ReadAnswer(const std::vector<HwtAnswerField>& fields) {
    CHwtV4Client reader(-1);
    const Bytes frame = EncodeHwtAnswer(0x42, kHwtPass, fields);
    reader.parse(frame.data(), frame.size());
    ReadBack read{reader.FieldCount(), {}, {}};
    for (size_t index = 0; index < fields.size(); ++index) {
        read.values.push_back(reader.Field(index));
        read.texts.emplace_back(reader.FieldText(index));
    }
    return read;
}

TEST(AnswerEncoder, FieldsFromTheFifthOnAreWrittenAsThePcReadsThem) {
    // After a block in fifth place every field takes four bytes, small or not.
    const ReadBack sixth = ReadAnswer({AnswerScalar(1), AnswerScalar(-2), AnswerScalar(300), AnswerScalar(4),
                                       AnswerText("ab"), AnswerScalar(5), AnswerScalar(-1), AnswerScalar(70000)});
    EXPECT_EQ(sixth.count, 8u);
    EXPECT_EQ(sixth.values, (std::vector<int32_t>{1, -2, 300, 4, 0, 5, -1, 70000}));
    EXPECT_EQ(sixth.texts[4], "ab");

    // A last fifth field is typed by the bytes left: one for a small value,
    // four for a large one, a block otherwise.
    const auto fifth = [](const HwtAnswerField& field) {
        return ReadAnswer({AnswerScalar(9), AnswerScalar(9), AnswerScalar(9), AnswerScalar(9), field});
    };
    EXPECT_EQ(fifth(AnswerScalar(-5)).values[4], -5);
    EXPECT_EQ(fifth(AnswerScalar(123456)).values[4], 123456);
    EXPECT_EQ(fifth(AnswerText("xyz")).texts[4], "xyz");
    EXPECT_EQ(fifth(AnswerText("a longer text")).texts[4], "a longer text");
}

// The bytes that come back for one request on a line with `faults`.
Bytes Exchange(RelayModel& relay, const FaultConfig& faults, const LineSettings& settings, const Bytes& request) {
    VirtualClock clock;
    ScopedClock scope(clock);
    MemoryLine line(relay, clock, faults);
    const auto port = line.OpenPort();
    port->SetBaudrate(settings.baud);
    port->SetParity(settings.parity, settings.stopBits);
    port->Write(request.data(), static_cast<uint32_t>(request.size()));
    port->WaitForInput(1000);
    Bytes answer(4096);
    answer.resize(port->Read(answer.data(), static_cast<uint32_t>(answer.size())));
    return answer;
}

// Whether the first `count` bytes hold any of `wanted`.
bool HoldsAny(const Bytes& bytes, size_t count, std::initializer_list<uint8_t> wanted) {
    const auto end = bytes.begin() + static_cast<long>(count);
    return std::find_first_of(bytes.begin(), end, wanted.begin(), wanted.end()) != end;
}

TEST(FaultsInEveryState, TheBootSystemAnswersWithANakOrABadCrc) {
    RelayModel relay(RelayConfig{.startState = kStateBootSystem});
    const LineSettings boot = relay.Config().bootLine;
    const Bytes identify = test::BootTelegram({kCommandStart, 'I'});
    EXPECT_EQ(Exchange(relay, {.wrongEchoEvery = 1}, boot, identify), Bytes{kNak});
    const Bytes corrupted = Exchange(relay, {.corruptEvery = 1}, boot, identify);
    ASSERT_EQ(corrupted.size(), kCommandAnswerSize);
    EXPECT_EQ(corrupted[0], kAck);
    EXPECT_NE(Crc16Xmodem(corrupted.data(), corrupted.size()), 0);

    // A block's lone ACK has no CRC: it turns into a NAK. The ESC text before
    // it has no check to break.
    const Bytes block = test::BootTelegram({kBlockStart, 'M', 'W', 'Z', 'X', '4', '4', '1', '7'}, 1024);
    const Bytes stored = Exchange(relay, {.corruptEvery = 1}, boot, block);
    ASSERT_EQ(stored.size(), BlockAnswerReceiver::kEscBlockSize + 1);
    EXPECT_EQ(stored.front(), kEsc);
    EXPECT_EQ(stored.back(), kNak);

    // Noise holds no character that begins an answer.
    const Bytes noisy = Exchange(relay, {.noiseBytes = 300}, boot, identify);
    ASSERT_EQ(noisy.size(), 300 + kCommandAnswerSize);
    EXPECT_FALSE(HoldsAny(noisy, 300, {kAck, kBel, kNak, kEtb, kEsc}));
    EXPECT_EQ(Crc16Xmodem(noisy.data() + 300, kCommandAnswerSize), 0);
}

TEST(FaultsInEveryState, TheApplicationAnswersWithABadVdewChecksum) {
    RelayModel relay(RelayConfig{.startState = kStateApplication});
    const LineSettings application = relay.Config().applicationLine;
    const Bytes probe{0x10, 0x47, 0x00, 0x47, 0x16};
    const Bytes acknowledge{0x10, 0x00, 0x00, 0x00, 0x16};
    Bytes corrupted = Exchange(relay, {.corruptEvery = 1}, application, probe);
    ASSERT_EQ(corrupted.size(), acknowledge.size());
    EXPECT_NE(corrupted[3], acknowledge[3]);
    corrupted[3] = acknowledge[3];
    EXPECT_EQ(corrupted, acknowledge);
    // A wrong echo names another link address, with a sum to match.
    EXPECT_EQ(Exchange(relay, {.wrongEchoEvery = 1}, application, probe), (Bytes{0x10, 0x00, 0x01, 0x01, 0x16}));

    const Bytes noisy = Exchange(relay, {.noiseBytes = 300}, application, probe);
    ASSERT_EQ(noisy.size(), 300 + acknowledge.size());
    EXPECT_FALSE(HoldsAny(noisy, 300, {0x10, 0x68}));
    EXPECT_TRUE(std::equal(acknowledge.begin(), acknowledge.end(), noisy.begin() + 300));

    // The PC takes an answer with a bad sum: the probe still finds the application.
    test::VirtualLineFixture line(relay, {.corruptEvery = 1});
    CVDEWClient vdew(line.OpenChannel());
    EXPECT_EQ(vdew.ConnectV4(0, nullptr), 0);
    EXPECT_NE(vdew.ReceivedChecksum(), 0u);
}

}  // namespace
}  // namespace testbay::sim
