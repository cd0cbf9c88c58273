#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "automation/automation_document.h"
#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "pages/serial_ports_page.h"
#include "sim/hwt_codec.h"
#include "support/text_pattern.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test.h"

namespace testbay {
namespace {

using test::Bytes;
using Ids = std::vector<uint32_t>;

constexpr uint8_t kBaudrateCommand = 0x2B;
constexpr uint8_t kPortTestCommand = 0x2C;
constexpr int32_t kPort = 1;  // the relay's RS485 port, with a test plug unless a test pulls it

class EnhancedCommTestRun : public ::testing::Test {
protected:
    void Run() {
        ASSERT_TRUE(test_.Start(inputs_));
        test_.Join();
    }
    // Keeps the notices in the order the worker made them and applies them as
    // the dialog would; `onNotice_` runs after each, on the worker.
    void Record(const CommTestNotice& notice) {
        ids_.push_back(notice.id);
        test_.Apply(notice);
        if (onNotice_) onNotice_();
    }
    std::vector<std::vector<int32_t>> Sent(uint8_t command) { return test::SentScalars(rig_.line.Line(), command); }
    sim::RelayPort& Port() { return rig_.relay.Hardware().serialPorts.ports.at(kPort); }

    test::HwtRelayRig rig_;
    CommTestInputs inputs_;
    Ids ids_;
    std::function<void()> onNotice_;
    EnhancedCommTest test_{kPort, std::bind_front(&EnhancedCommTestRun::Record, this)};
};

TEST_F(EnhancedCommTestRun, ASingleRunMakesOneCycleAndThenFinishes) {
    const int64_t startMs = rig_.line.Clock().NowMs();
    Run();
    EXPECT_EQ(ids_, (Ids{kCommTestPassed, kCommTestFinished}));
    EXPECT_EQ(Sent(kPortTestCommand).size(), 1u);
    EXPECT_GE(rig_.line.Clock().NowMs() - startMs, 1000);  // the interval is waited after the one cycle too

    ids_.clear();
    Port().loopbackPlug = false;  // nothing comes back: the relay reports -1
    Run();
    ASSERT_EQ(ids_, (Ids{kCommTestFailed, kCommTestFinished}));
    const CommTestErrorLine& line = test_.ErrorLines().front();
    EXPECT_TRUE(test::MatchesPattern(line.dateTime, "??.??.???? ??:??")) << line.dateTime;
    EXPECT_EQ(line.number + " " + line.code + " " + line.commentary, "1 -1 Timeout");

    // A closed channel ends even a repeated run.
    ComClose(rig_.channel);
    inputs_.repeat = true;
    Run();
    EXPECT_EQ(test_.ErrorLines().front().commentary, "Port geschlossen");
    EXPECT_EQ(test_.Failed(), 1);
}

TEST_F(EnhancedCommTestRun, RepeatedRunsEndAtTheFirstFailureOrAfterStop) {
    Port().loopbackPlug = false;
    inputs_.repeat = inputs_.breakOnError = true;
    Run();
    EXPECT_EQ(ids_, (Ids{kCommTestFailed, kCommTestFinished}));

    // Without "break on error" the run goes on until it is stopped; a Start
    // meanwhile is refused.
    ids_.clear();
    inputs_.breakOnError = false;
    // The button offers Stop until the run-finished notice, not just until Stop is pressed.
    bool secondStartRefused = false;
    std::vector<std::string> labels;
    onNotice_ = [&] {
        if (test_.Failed() == 1) secondStartRefused = !test_.Start(inputs_);
        if (test_.Failed() == 3) test_.Stop();
        labels.emplace_back(test_.StartButtonText());
    };
    Run();
    EXPECT_TRUE(secondStartRefused);
    EXPECT_EQ(ids_, (Ids{kCommTestFailed, kCommTestFailed, kCommTestFailed, kCommTestFinished}));
    EXPECT_EQ(labels, (std::vector<std::string>{"&Stop", "&Stop", "&Stop", "&Start"}));

    // A new run starts its counters afresh and keeps the list, newest first.
    onNotice_ = nullptr;
    inputs_.repeat = false;
    Run();
    EXPECT_EQ(test_.Failed(), 1);
    ASSERT_EQ(test_.ErrorLines().size(), 5u);
    EXPECT_EQ(test_.ErrorLines()[0].number, "1");
    EXPECT_EQ(test_.ErrorLines()[1].number, "3");
}

TEST_F(EnhancedCommTestRun, AFailingSendGivesTwoErrorLines) {
    Port().broken = true;
    Port().faultCode = 7;
    inputs_.sendAndWait = false;
    inputs_.data = CommTestData::kText;
    inputs_.text = "abc";
    Run();
    ASSERT_EQ(ids_, (Ids{kCommTestFailed, kCommTestFailed, kCommTestFinished}));
    const auto& lines = test_.ErrorLines();
    EXPECT_EQ(lines[0].number + " " + lines[0].code + " " + lines[0].commentary, "2 7 Character error");
    EXPECT_EQ(lines[1].number + " " + lines[1].code + " " + lines[1].commentary, "1 0 Fehler beim Senden");
}

TEST_F(EnhancedCommTestRun, InputsReachTheRelayAndOnlyAFilledBaudRateBoxSetsTheRate) {
    inputs_.lengthText = "64";  // sent and waited for, a fixed length goes as a number
    Run();
    EXPECT_TRUE(Sent(kBaudrateCommand).empty());
    ASSERT_EQ(Sent(kPortTestCommand).size(), 1u);
    EXPECT_EQ(Sent(kPortTestCommand)[0], (std::vector<int32_t>{kPort, 3000, 64, 0}));

    inputs_.baudText = "19200";
    inputs_.sendAndWait = false;
    inputs_.data = CommTestData::kHexadecimal;
    inputs_.hexText = "10 47 00 47 16";
    Run();
    EXPECT_EQ(Sent(kBaudrateCommand).size(), 1u);
    EXPECT_EQ(Port().baud, 19200u);
    EXPECT_EQ(Port().sent, (Bytes{0x10, 0x47, 0x00, 0x47, 0x16}));
}

// A second dialog, a sheet's page and the automation are other users of the
// client: while a run has it, each fails as without a connection and sends nothing.
TEST_F(EnhancedCommTestRun, WhileARunHasTheClientEveryOtherUserIsRefused) {
    inputs_.repeat = true;
    std::vector<uint32_t> sentDuringTheRun;
    bool secondDialogRefused = false;
    bool pageListedNothing = false;
    int32_t automationByte = 0;
    int automationExit = -1;
    bool pageListsAfterTheRun = false;
    onNotice_ = [&] {
        if (ids_.back() == kCommTestFinished) {
            // The client is free again once the dialog learns that the run is over.
            SerialPortsPage page;
            page.Initialise();
            pageListsAfterTheRun = !page.Records().empty();
            return;
        }
        if (test_.Passed() != 2) return;
        const size_t writes = rig_.line.Line().Writes().size();
        EnhancedCommTest second(kPort + 1, [](const CommTestNotice&) {});
        secondDialogRefused = !second.Start(inputs_);
        SerialPortsPage page;
        page.Initialise();
        pageListedNothing = page.Records().empty();
        CTESTBAYDoc document;
        automationByte = document.ReadByte(0, 0);
        automationExit = document.ExitHardwaretest();
        sentDuringTheRun.push_back(static_cast<uint32_t>(rig_.line.Line().Writes().size() - writes));
        test_.Stop();
    };
    Run();
    EXPECT_TRUE(secondDialogRefused);
    EXPECT_TRUE(pageListedNothing);
    EXPECT_EQ(automationByte, -1);
    EXPECT_EQ(automationExit, 0);
    EXPECT_EQ(sentDuringTheRun, std::vector<uint32_t>{0});
    EXPECT_TRUE(pageListsAfterTheRun);
    EXPECT_EQ(CurrentHwtClient(), &rig_.client);
}

TEST(EnhancedCommTestNoClient, OnlyTheRunFinishedNoticeComes) {
    ASSERT_EQ(CurrentHwtClient(), nullptr);
    Ids ids;
    EnhancedCommTest test(kPort, [&ids](const CommTestNotice& notice) { ids.push_back(notice.id); });
    ASSERT_TRUE(test.Start({}));
    test.Join();
    EXPECT_EQ(ids, (Ids{kCommTestFinished}));
}

TEST(EnhancedCommTestData, HexadecimalTextIsReadGroupByGroup) {
    std::array<uint8_t, CommTestRunBlock::kDataSize> data = {};
    EXPECT_EQ(ReadHexData("0a fF 10", data), 3u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 3), (Bytes{0x0A, 0xFF, 0x10}));
    // A lone trailing digit, a double blank or a wrong digit ends the data.
    const std::pair<const char*, size_t> cut[] = {{"10 4", 1}, {"10  47", 1}, {"10 4g 47", 1},
                                                  {"1 47", 0}, {"1047", 0},   {"", 0}};
    for (const auto& [text, count] : cut) EXPECT_EQ(ReadHexData(text, data), count) << text;
    // Only 255 characters are read, and never more bytes than fit.
    std::string longText;
    for (int index = 0; index < 100; ++index) longText += "AB ";
    EXPECT_EQ(ReadHexData(longText, data), 85u);
    std::array<uint8_t, 2> small = {};
    EXPECT_EQ(ReadHexData("01 02 03", small), 2u);
}

}  // namespace
}  // namespace testbay
