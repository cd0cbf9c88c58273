#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay {
namespace {

using sim::AnswerScalar;
using sim::EncodeHwtAnswer;
using test::Bytes;
using test::ScriptedPeer;
using test::VirtualLineFixture;

// The requests the PC wrote, decoded as the relay reads them.
std::vector<sim::HwtRequestFrame> DecodeWrites(const sim::MemoryLine& line) {
    sim::HwtRequestAssembler assembler;
    std::vector<sim::HwtRequestFrame> requests;
    for (const auto& written : line.Writes()) {
        for (auto& request : assembler.Feed(written.bytes.data(), written.bytes.size())) {
            requests.push_back(std::move(request));
        }
    }
    return requests;
}

class IdentityClock : public ::testing::Test {
protected:
    // The relay's hardware-test firmware listens at its start rate.
    IdentityClock() { ComBaud(channel_, sim::RelayModel::kHardwareTestStartBaud); }

    std::vector<uint8_t> CommandsSent() {
        std::vector<uint8_t> commands;
        for (const auto& request : DecodeWrites(line_.Line())) commands.push_back(request.command);
        return commands;
    }

    sim::RelayModel relay_;
    sim::IdentityState& identity_ = relay_.Hardware().identity;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

// A relay whose answers the test scripts per command code.
class ScriptedIdentity : public ::testing::Test {
protected:
    void AnswerWith(std::function<std::vector<Bytes>(uint8_t command)> make) {
        peer_.SetScript([make](const Bytes& request) { return make(request[2]); });
    }
    std::vector<uint8_t> CommandsSent() {
        std::vector<uint8_t> commands;
        for (const auto& request : peer_.Requests()) commands.push_back(request[2]);
        return commands;
    }

    ScriptedPeer peer_;
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(IdentityClock, IdentityTextsComeFromTheRightFields) {
    std::string text = "old";
    EXPECT_EQ(client_.GetHWVersion(text), 1);
    EXPECT_EQ(text, "HW 03");
    EXPECT_EQ(client_.GetVersion(1, text), 1);
    EXPECT_EQ(text, "HWT V04.20.01");
    EXPECT_EQ(client_.GetMLFB(text), 1);
    EXPECT_EQ(text, "7SJ6425-5EB92-3FC1+L2A");
    EXPECT_EQ(client_.GetVersionNumber(), 70);

    // A failed query leaves the text empty.
    EXPECT_EQ(client_.GetVersion(9, text), 0);
    EXPECT_EQ(text, "");
    identity_.versions.resize(3);
    EXPECT_EQ(client_.GetVersionNumber(), 0);
    identity_.versions.push_back("V4");
    EXPECT_EQ(client_.GetVersionNumber(), 0);
    identity_.versions.back() = "V4.7";
    EXPECT_EQ(client_.GetVersionNumber(), 7);
}

TEST_F(IdentityClock, OrderAndSerialNumberAreWrittenAsBlocks) {
    EXPECT_EQ(client_.SetMLFB("7SJ6425-5EB92-3FC1+L2B"), 1);
    EXPECT_EQ(client_.SetSrialNumber("BF0799999999"), 1);
    EXPECT_EQ(identity_.mlfb, "7SJ6425-5EB92-3FC1+L2B");
    EXPECT_EQ(identity_.serialNumber, "BF0799999999");
    const auto requests = DecodeWrites(line_.Line());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command, 0x85);
    EXPECT_EQ(requests[0].blocks, (std::vector<Bytes>{Bytes(identity_.mlfb.begin(), identity_.mlfb.end())}));
    EXPECT_EQ(line_.Line().Writes()[1].bytes[3], 0x03);

    std::string text;
    EXPECT_EQ(client_.GetSerialNumber(text), 1);
    EXPECT_EQ(text, "BF0799999999");

}

TEST_F(IdentityClock, SerialNumberWithAForeignCharacterFailsEmpty) {
    std::string text;
    identity_.serialNumber = "BF 07_12-ab";
    EXPECT_EQ(client_.GetSerialNumber(text), 1);
    EXPECT_EQ(text, "BF 07_12-ab");
    for (const char* bad : {"BF07/1234", "BF07\xC4", "BF.07"}) {
        identity_.serialNumber = bad;
        text = "old";
        EXPECT_EQ(client_.GetSerialNumber(text), 0) << bad;
        EXPECT_EQ(text, "") << bad;
    }
}

TEST_F(IdentityClock, CpuIdTextIsCutToElevenCharactersAndBytesTravelModulo256) {
    identity_.cpuIdText = "K2-0712-C03-REV-B";
    identity_.cpuIdBytes = {200, 4, 1};
    uint8_t a = 0, b = 0, c = 0;
    std::string text;
    int32_t d = 0;
    EXPECT_EQ(client_.GetCpuId(a, b, c, text, d), 1);
    EXPECT_EQ(text, "K2-0712-C03");
    EXPECT_EQ(std::vector<int>({a, b, c}), (std::vector<int>{200, 4, 1}));
    EXPECT_EQ(d, 40000);

    EXPECT_EQ(client_.SetCpuId(0x1FF, -1, 0x103, "K3"), 1);
    EXPECT_EQ(identity_.cpuIdBytes, (std::array<int32_t, 3>{0xFF, 0xFF, 0x03}));
    EXPECT_EQ(identity_.cpuIdText, "K3");
    EXPECT_EQ(client_.GetCpuId(a, b, c, text, d), 1);
    EXPECT_EQ(text, "K3");
}

TEST_F(IdentityClock, SetDateSendsTimeBeforeDateAndTheClockRunsOn) {
    EXPECT_EQ(client_.SetDate(29, 2, 24, 23, 59, 58), 1);
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x33, 0x35}));
    line_.Clock().SleepMs(3000);
    int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    EXPECT_EQ(client_.GetDate(day, month, year, hour, minute, second), 1);
    EXPECT_EQ(std::vector<int32_t>({day, month, year, hour, minute, second}),
              (std::vector<int32_t>{1, 3, 24, 0, 0, 1}));

    // The relay refuses a date that does not exist; the time part still counts.
    EXPECT_EQ(client_.SetDate(29, 2, 23, 12, 0, 0), 1);
    EXPECT_EQ(client_.SetDate(29, 2, 23, 24, 0, 0), 0);
}

TEST_F(IdentityClock, TimeCodeInBothAnswerForms) {
    ASSERT_EQ(client_.SetDate(15, 3, 24, 10, 30, 5), 1);
    identity_.timeCodeSignal = false;
    int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, status = 0;
    EXPECT_EQ(client_.GetTimeCode(day, month, year, hour, minute, second, status), 1);
    EXPECT_EQ(std::vector<int32_t>({day, month, year, hour, minute, second, status}),
              (std::vector<int32_t>{15, 3, 24, 10, 30, 5, 1}));

    // The second-count form: UTC, year counted from 1900, and no date telegram.
    line_.Line().ClearWrites();
    identity_.timeCodeAsSeconds = true;
    identity_.timeCodeSignal = true;
    EXPECT_EQ(client_.GetTimeCode(day, month, year, hour, minute, second, status), 1);
    EXPECT_EQ(std::vector<int32_t>({day, month, year, hour, minute, second, status}),
              (std::vector<int32_t>{15, 3, 124, 10, 30, 5, 0}));
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x39}));

    int32_t signal = 7;
    EXPECT_EQ(client_.SetTimeCodeFormat(2), 1);
    EXPECT_EQ(client_.SetTimeCodeFormat(9), 0);
    EXPECT_EQ(client_.GetTimeCodeSignal(signal), 1);
    EXPECT_EQ(signal, 1);
}

TEST_F(ScriptedIdentity, TimeCodeSecondCountZeroIsTheEpoch) {
    AnswerWith([](uint8_t command) {
        return std::vector<Bytes>{EncodeHwtAnswer(command, kHwtPass, {AnswerScalar(0), AnswerScalar(5)})};
    });
    int32_t day = 0, month = 0, year = 0, hour = 9, minute = 9, second = 9, status = 0;
    EXPECT_EQ(client_.GetTimeCode(day, month, year, hour, minute, second, status), 1);
    EXPECT_EQ(std::vector<int32_t>({day, month, year, hour, minute, second, status}),
              (std::vector<int32_t>{1, 1, 70, 0, 0, 0, 5}));
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x39}));
}

TEST_F(ScriptedIdentity, TimeCodeAfterALostAnswerDoesNotFollowTheLastCommandsFields) {
    AnswerWith([](uint8_t command) {
        if (command == 0x39) return std::vector<Bytes>{};
        return std::vector<Bytes>{
            EncodeHwtAnswer(command, kHwtPass, {AnswerScalar(1), AnswerScalar(2), AnswerScalar(3), AnswerScalar(4)})};
    });
    int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, status = 0;
    ASSERT_EQ(client_.GetDate(day, month, year, hour, minute, second), 1);
    EXPECT_EQ(client_.GetTimeCode(day, month, year, hour, minute, second, status), 0);
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x36, 0x34, 0x39, 0x39, 0x39, 0x39}));
    EXPECT_EQ(status, 0);
}

TEST_F(ScriptedIdentity, GetDateSucceedsWhenEitherTelegramDoes) {
    AnswerWith([](uint8_t command) {
        const uint8_t status = command == 0x36 ? kHwtFail : kHwtPass;
        return std::vector<Bytes>{
            EncodeHwtAnswer(command, status, {AnswerScalar(12), AnswerScalar(34), AnswerScalar(56)})};
    });
    int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    EXPECT_EQ(client_.GetDate(day, month, year, hour, minute, second), 1);
    EXPECT_EQ(CommandsSent(), (std::vector<uint8_t>{0x36, 0x34}));
    EXPECT_EQ(hour, 12);
}

TEST_F(IdentityClock, WatchdogTimeAndPattern) {
    int32_t time = 0;
    EXPECT_EQ(client_.GetWatchdogTime(time, 3), 1);
    EXPECT_EQ(time, 1600);
    const auto requests = DecodeWrites(line_.Line());
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].scalars, (std::vector<int32_t>{2000, 3}));
    EXPECT_EQ(requests[1].scalars, (std::vector<int32_t>{0}));
    // Without the arming telegram the relay has nothing to measure.
    EXPECT_EQ(client_.telegramm(0x3D, {Scalar(0)}, 60), 0);

    EXPECT_EQ(client_.TestWatchdogPattern(), 1);
    // A relay gone silent must not pass on the pattern it sent before.
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.TestWatchdogPattern(), 0);
}

TEST_F(IdentityClock, ErrorListsCountsAndRecords) {
    int32_t count = -1;
    EXPECT_EQ(client_.GetErrorCount(count), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(client_.GetErrorCount(1, count), 1);
    EXPECT_EQ(count, 1);

    std::string record;
    EXPECT_EQ(client_.GetError(0, 0, record, 200), 1);
    EXPECT_EQ(record, "14.03.24 08:12:05 Watchdog reset E0017 @0081A2C4 PROT");
    EXPECT_EQ(client_.GetError(0, 0, record, 8), 1);
    EXPECT_EQ(record, "14.03.24");
    // A record that does not exist leaves nothing of the one before.
    EXPECT_EQ(client_.GetError(2, 0, record, 200), 0);
    EXPECT_EQ(record, "");

    identity_.errorListsByNumber = false;
    std::string time, text, task;
    int32_t code = 0, address = 0;
    EXPECT_EQ(client_.GetError(2, time, code, address, task, text), 1);
    EXPECT_EQ(time, "15.03.24 09:58:40");
    EXPECT_EQ(text, "Parameter checksum");
    EXPECT_EQ(code, 0x2A);
    EXPECT_EQ(address, 0x00840000);
    EXPECT_EQ(task, "PARA");
    EXPECT_EQ(client_.GetError(3, time, code, address, task, text), 0);
    EXPECT_EQ(time, "15.03.24 09:58:40");
}

TEST_F(IdentityClock, ResetIsSentWithoutWaitingAndRestartsTheRelay) {
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(client_.Reset(2), 1);
    ASSERT_EQ(line_.Line().Writes().size(), 1u);
    EXPECT_EQ(line_.Line().Writes()[0].bytes, (Bytes{0x68, 0x03, 0x3F, 0x01, 0x02, 0x42}));
    EXPECT_EQ(line_.Clock().NowMs(), start);
    EXPECT_EQ(relay_.State(), sim::RelayModel::kRestarting);

    // Nobody listening makes no difference.
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.Reset(1), 1);
    EXPECT_EQ(client_.ExitHardwareTest(), 1);
    EXPECT_EQ(client_.SetLevel("3"), 1);
    EXPECT_EQ(line_.Line().Writes().size(), 2u);
}

}  // namespace
}  // namespace testbay
