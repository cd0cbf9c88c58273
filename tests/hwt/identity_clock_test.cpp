#include <gtest/gtest.h>

#include <array>

#include "support/hwt_relay.h"

namespace testbay {
namespace {

using sim::AnswerScalar;
using test::Bytes;
using test::Ints;

class IdentityClock : public test::HwtRelayTest {
protected:
    // The result, then day, month, year, hour, minute and second.
    Ints Date() {
        Ints out(7, 9);
        out[0] = client_.GetDate(out[1], out[2], out[3], out[4], out[5], out[6]);
        return out;
    }
    // The result, then day, month, year, hour, minute, second and status.
    Ints TimeCode() {
        Ints out(8, 9);
        out[0] = client_.GetTimeCode(out[1], out[2], out[3], out[4], out[5], out[6], out[7]);
        return out;
    }

    sim::IdentityState& identity_ = relay_.Hardware().identity;
};

TEST_F(IdentityClock, IdentityTextsVersionNumberAndCpuId) {
    std::string text;
    EXPECT_EQ(Outcome(client_.GetHWVersion(text), text), std::make_tuple(1, "HW 03"));
    // A failed query leaves the text empty.
    EXPECT_EQ(Outcome(client_.GetVersion(9, text), text), std::make_tuple(0, ""));
    for (const auto& [version, number] : {std::pair{"V04.70.15", 70}, {"V4", 0}, {"V4.7", 7}}) {
        identity_.versions[3] = version;
        EXPECT_EQ(client_.GetVersionNumber(), number) << version;
    }
    identity_.versions.resize(3);
    EXPECT_EQ(client_.GetVersionNumber(), 0);

    // The CPU id text is cut to eleven characters; its bytes travel modulo 256.
    identity_.cpuIdText = "K2-0712-C03-REV-B";
    identity_.cpuIdBytes = {200, 4, 1};
    uint8_t a = 0, b = 0, c = 0;
    int32_t d = 0;
    EXPECT_EQ(Outcome(client_.GetCpuId(a, b, c, text, d), a, b, c, text, d),
              std::make_tuple(1, 200, 4, 1, "K2-0712-C03", 40000));
    EXPECT_EQ(client_.SetCpuId(0x1FF, -1, 0x103, "K3"), 1);
    EXPECT_EQ(identity_.cpuIdBytes, (std::array<int32_t, 3>{0xFF, 0xFF, 0x03}));
}

TEST_F(IdentityClock, OrderAndSerialNumberTravelAsBlocksAndAreChecked) {
    const std::string mlfb = "QR8425-5TB92-3MD1+Z2B";
    EXPECT_EQ(client_.SetMLFB(mlfb), 1);
    EXPECT_EQ(client_.SetSrialNumber("BF 07_12-ab"), 1);
    EXPECT_EQ(std::make_pair(Request(0).command, Request(0).blocks),
              std::make_pair(uint8_t{0x85}, std::vector<Bytes>{Bytes(mlfb.begin(), mlfb.end())}));
    EXPECT_EQ(line_.Line().Writes()[1].bytes[3], 0x03);
    std::string text;
    EXPECT_EQ(Outcome(client_.GetSerialNumber(text), text), std::make_tuple(1, "BF 07_12-ab"));
    // A foreign character fails the read and leaves the text empty.
    for (const char* bad : {"TQ26/1234", "TQ26\xC4", "BF.07"}) {
        identity_.serialNumber = bad;
        text = "old";
        EXPECT_EQ(Outcome(client_.GetSerialNumber(text), text), std::make_tuple(0, "")) << bad;
    }
}

TEST_F(IdentityClock, DateTimeIsSetTimeFirstAndReadWhenEitherTelegramSucceeds) {
    EXPECT_EQ(client_.SetDate(29, 2, 24, 23, 59, 58), 1);
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x33, 0x35}));
    line_.Clock().SleepMs(3000);
    EXPECT_EQ(Date(), (Ints{1, 1, 3, 24, 0, 0, 1}));
    // The relay refuses a date that does not exist; the time part still counts.
    EXPECT_EQ(client_.SetDate(29, 2, 23, 12, 0, 0), 1);
    EXPECT_EQ(client_.SetDate(29, 2, 23, 24, 0, 0), 0);

    Script([](uint8_t command) {
        const uint8_t status = command == 0x36 ? kHwtFail : kHwtPass;
        return sim::EncodeHwtAnswer(command, status, {AnswerScalar(12), AnswerScalar(34), AnswerScalar(56)});
    });
    TakeCommands();
    EXPECT_EQ(Date(), (Ints{1, 12, 34, 56, 12, 34, 56}));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x36, 0x34}));
}

TEST_F(IdentityClock, TimeCodeInBothAnswerForms) {
    ASSERT_EQ(client_.SetDate(15, 3, 24, 10, 30, 5), 1);
    identity_.timeCodeSignal = false;
    TakeCommands();
    EXPECT_EQ(TimeCode(), (Ints{1, 15, 3, 24, 10, 30, 5, 1}));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x39, 0x3A}));
    // The second-count form: UTC, year counted from 1900, and no date telegram.
    identity_.timeCodeAsSeconds = true;
    identity_.timeCodeSignal = true;
    EXPECT_EQ(TimeCode(), (Ints{1, 15, 3, 124, 10, 30, 5, 0}));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x39}));
    int32_t signal = 7;
    EXPECT_EQ(Outcome(client_.GetTimeCodeSignal(signal), signal), std::make_tuple(1, 1));

    Script([](uint8_t command) { return test::PassAnswer(command, {0, 5}); });
    EXPECT_EQ(TimeCode(), (Ints{1, 1, 1, 70, 0, 0, 0, 5}));

    // After a lost answer the form does not follow the fields of the command before.
    Script([](uint8_t command) { return command == 0x39 ? Bytes{} : test::PassAnswer(command, {1, 2, 3, 4}); });
    ASSERT_EQ(Date()[0], 1);
    TakeCommands();
    const Ints lost = TimeCode();
    EXPECT_EQ(std::make_pair(lost[0], lost[7]), std::make_pair(0, 0));
    EXPECT_EQ(TakeCommands(), (std::vector<uint8_t>{0x39, 0x39, 0x39, 0x39}));
}

TEST_F(IdentityClock, WatchdogTimeAndPattern) {
    int32_t time = 0;
    EXPECT_EQ(Outcome(client_.GetWatchdogTime(time, 3), time), std::make_tuple(1, 1600));
    EXPECT_EQ(std::make_pair(Request(0).scalars, Request(1).scalars), std::make_pair(Ints{2000, 3}, Ints{0}));
    EXPECT_EQ(client_.TestWatchdogPattern(), 1);
    // A relay gone silent must not pass on the pattern it sent before.
    line_.Line().SetFaults(sim::FaultConfig{.silent = true});
    EXPECT_EQ(client_.TestWatchdogPattern(), 0);
}

TEST_F(IdentityClock, ErrorRecordsAreCutAndNeverLeftOver) {
    int32_t code = 0, address = 0;
    std::string record, time, text, task;
    EXPECT_EQ(Outcome(client_.GetError(0, 0, record, 200), record),
              std::make_tuple(1, "14.03.24 08:12:05 Watchdog reset E0017 @0081A2C4 PROT"));
    EXPECT_EQ(Outcome(client_.GetError(0, 0, record, 8), record), std::make_tuple(1, "14.03.24"));
    // A record that does not exist leaves nothing of the one before.
    EXPECT_EQ(Outcome(client_.GetError(2, 0, record, 200), record), std::make_tuple(0, ""));

    identity_.errorListsByNumber = false;
    EXPECT_EQ(Outcome(client_.GetError(2, time, code, address, task, text), time, text, code, address, task),
              std::make_tuple(1, "15.03.24 09:58:40", "Parameter checksum", 0x2A, 0x00840000, "PARA"));
    EXPECT_EQ(Outcome(client_.GetError(3, time, code, address, task, text), time),
              std::make_tuple(0, "15.03.24 09:58:40"));
}

TEST_F(IdentityClock, ResetIsSentWithoutWaitingAndRestartsTheRelay) {
    const int64_t start = line_.Clock().NowMs();
    EXPECT_EQ(client_.Reset(2), 1);
    EXPECT_EQ(line_.Line().Writes().back().bytes, (Bytes{0x68, 0x03, 0x3F, 0x01, 0x02, 0x42}));
    EXPECT_EQ(line_.Clock().NowMs(), start);
    EXPECT_EQ(relay_.State(), sim::RelayModel::kRestarting);
}

}  // namespace
}  // namespace testbay
