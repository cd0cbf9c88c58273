#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/text_pattern.h"
#include "support/virtual_line.h"
#include "tools/enhanced_comm_test.h"

namespace testbay {
namespace {

using test::Bytes;
using test::VirtualLineFixture;

constexpr uint8_t kBaudrateCommand = 0x2B;
constexpr uint8_t kPortTestCommand = 0x2C;
constexpr int32_t kLoopedPort = 1;   // the relay's RS485 port with a test plug
constexpr int32_t kSilentPort = 2;   // nothing comes back: the relay reports -1

// A test whose notices are kept in the order the worker made them and
// applied as the dialog would; `onNotice` runs after each, on the worker.
class RecordedTest {
public:
    explicit RecordedTest(int32_t port, std::function<void(RecordedTest&)> onNotice = {})
        : onNotice_(std::move(onNotice)), test_(port, [this](const CommTestNotice& notice) {
              notices_.push_back(notice);
              test_.Apply(notice);
              if (onNotice_) onNotice_(*this);
          }) {}

    // Runs to the end of the worker.
    void Run(const CommTestInputs& inputs) {
        ASSERT_TRUE(test_.Start(inputs));
        test_.Join();
    }
    std::vector<uint32_t> Ids() const {
        std::vector<uint32_t> ids;
        for (const CommTestNotice& notice : notices_) ids.push_back(notice.id);
        return ids;
    }

    const std::vector<CommTestNotice>& Notices() const { return notices_; }
    EnhancedCommTest& Test() { return test_; }

private:
    std::vector<CommTestNotice> notices_;
    std::function<void(RecordedTest&)> onNotice_;
    EnhancedCommTest test_;
};

class EnhancedCommTestRun : public ::testing::Test {
protected:
    void SetUp() override { ComBaud(channel_, 38400); }

    std::vector<sim::HwtRequestFrame> Requests() {
        sim::HwtRequestAssembler assembler;
        std::vector<sim::HwtRequestFrame> requests;
        for (const auto& written : line_.Line().Writes()) {
            for (auto& request : assembler.Feed(written.bytes.data(), written.bytes.size())) {
                requests.push_back(std::move(request));
            }
        }
        return requests;
    }
    size_t CountRequests(uint8_t command) {
        const auto requests = Requests();
        return static_cast<size_t>(std::count_if(requests.begin(), requests.end(),
                                                 [command](const auto& request) { return request.command == command; }));
    }
    sim::RelayPort& Port(int32_t port) { return relay_.Hardware().serialPorts.ports.at(static_cast<size_t>(port)); }
    static CommTestInputs SendOnly(CommTestData data, std::string text) {
        CommTestInputs inputs;
        inputs.sendAndWait = false;
        inputs.data = data;
        (data == CommTestData::kText ? inputs.text : inputs.hexText) = std::move(text);
        return inputs;
    }

    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

TEST_F(EnhancedCommTestRun, ASingleRunMakesOneCycleAndThenFinishes) {
    RecordedTest passing(kLoopedPort);
    const int64_t startMs = line_.Clock().NowMs();
    passing.Run({});
    EXPECT_EQ(passing.Ids(), (std::vector<uint32_t>{kCommTestPassed, kCommTestFinished}));
    EXPECT_EQ(CountRequests(kPortTestCommand), 1u);
    // The test interval is waited after the one cycle too.
    EXPECT_GE(line_.Clock().NowMs() - startMs, 1000);
    EXPECT_EQ(passing.Test().Passed(), 1);
    EXPECT_FALSE(passing.Test().IsRunning());
    EXPECT_TRUE(passing.Test().ErrorLines().empty());

    RecordedTest failing(kSilentPort);
    failing.Run({});
    ASSERT_EQ(failing.Ids(), (std::vector<uint32_t>{kCommTestFailed, kCommTestFinished}));
    ASSERT_EQ(failing.Test().ErrorLines().size(), 1u);
    const CommTestErrorLine& line = failing.Test().ErrorLines().front();
    EXPECT_TRUE(test::MatchesPattern(line.dateTime, "??.??.???? ??:??")) << line.dateTime;
    EXPECT_EQ(line.number, "1");
    EXPECT_EQ(line.code, "-1");
    EXPECT_EQ(line.commentary, "Timeout");
}

TEST_F(EnhancedCommTestRun, RelayCodesChooseTheComment) {
    Port(kLoopedPort).broken = true;
    Port(kLoopedPort).faultCode = 0x15;
    RecordedTest characterError(kLoopedPort);
    characterError.Run({});
    ASSERT_EQ(characterError.Notices().size(), 2u);
    EXPECT_EQ(characterError.Notices()[0].code, 0x15);
    EXPECT_EQ(characterError.Notices()[0].comment, "Character error");

    Port(kLoopedPort).faultCode = 0;
    RecordedTest testError(kLoopedPort);
    testError.Run({});
    ASSERT_EQ(testError.Notices().size(), 2u);
    EXPECT_EQ(testError.Notices()[0].code, 0);
    EXPECT_EQ(testError.Notices()[0].comment, "Testfehler");
}

TEST_F(EnhancedCommTestRun, RepeatedRunsEndAtTheFirstFailureOrAfterStop) {
    CommTestInputs inputs;
    inputs.repeat = true;
    inputs.breakOnError = true;
    RecordedTest breaking(kSilentPort);
    breaking.Run(inputs);
    EXPECT_EQ(breaking.Ids(), (std::vector<uint32_t>{kCommTestFailed, kCommTestFinished}));

    // Without "break on error" the run goes on until it is stopped; a Start
    // meanwhile is refused.
    inputs.breakOnError = false;
    bool secondStartRefused = false;
    RecordedTest stopped(kSilentPort, [&](RecordedTest& run) {
        if (run.Test().Failed() == 1) secondStartRefused = !run.Test().Start(inputs);
        if (run.Test().Failed() == 3) run.Test().Stop();
    });
    stopped.Run(inputs);
    EXPECT_TRUE(secondStartRefused);
    EXPECT_EQ(stopped.Ids(),
              (std::vector<uint32_t>{kCommTestFailed, kCommTestFailed, kCommTestFailed, kCommTestFinished}));
    const auto& lines = stopped.Test().ErrorLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines.front().number, "3");
    EXPECT_EQ(lines.back().number, "1");

    // A new run starts its counters afresh and keeps the list.
    stopped.Run({});
    EXPECT_EQ(stopped.Test().Failed(), 1);
    EXPECT_EQ(stopped.Test().ErrorLines().size(), 4u);
    EXPECT_EQ(stopped.Test().ErrorLines().front().number, "1");
}

TEST_F(EnhancedCommTestRun, AFailingSendGivesTwoErrorLines) {
    Port(kLoopedPort).broken = true;
    Port(kLoopedPort).faultCode = 7;
    RecordedTest sending(kLoopedPort);
    sending.Run(SendOnly(CommTestData::kText, "abc"));
    ASSERT_EQ(sending.Notices().size(), 3u);
    EXPECT_EQ(sending.Notices()[0].code, 0);
    EXPECT_EQ(sending.Notices()[0].comment, "Fehler beim Senden");
    EXPECT_EQ(sending.Notices()[1].code, 7);
    EXPECT_EQ(sending.Notices()[1].comment, "Character error");
    EXPECT_EQ(sending.Notices()[2].id, kCommTestFinished);
    const auto& lines = sending.Test().ErrorLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].commentary, "Character error");
    EXPECT_EQ(lines[0].number, "2");
    EXPECT_EQ(lines[1].commentary, "Fehler beim Senden");
}

TEST_F(EnhancedCommTestRun, OnlyAFilledBaudRateBoxSetsTheRate) {
    RecordedTest test(kLoopedPort);
    test.Run({});
    EXPECT_EQ(CountRequests(kBaudrateCommand), 0u);
    EXPECT_EQ(Port(kLoopedPort).baud, 9600u);

    CommTestInputs inputs;
    inputs.baudText = "19200";
    test.Run(inputs);
    EXPECT_EQ(CountRequests(kBaudrateCommand), 1u);
    EXPECT_EQ(Port(kLoopedPort).baud, 19200u);
    EXPECT_EQ(test.Ids().back(), kCommTestFinished);
}

TEST_F(EnhancedCommTestRun, TestDataReachTheRelay) {
    RecordedTest test(kLoopedPort);
    test.Run(SendOnly(CommTestData::kHexadecimal, "10 47 00 47 16"));
    EXPECT_EQ(Port(kLoopedPort).sent, (Bytes{0x10, 0x47, 0x00, 0x47, 0x16}));
    EXPECT_EQ(test.Test().Passed(), 1);

    Port(kLoopedPort).sent.clear();
    test.Run(SendOnly(CommTestData::kHexadecimal, "1 47"));
    EXPECT_TRUE(Port(kLoopedPort).sent.empty());
    EXPECT_EQ(test.Test().RunBlock().length, 0);

    // Text is cut to 254 characters.
    test.Run(SendOnly(CommTestData::kText, std::string(300, 'x')));
    EXPECT_EQ(Port(kLoopedPort).sent.size(), 254u);

    // Sent and waited for, text goes out in the port test itself; a fixed
    // length goes as a number.
    CommTestInputs inputs;
    inputs.data = CommTestData::kText;
    inputs.text = "Hello";
    test.Run(inputs);
    inputs.data = CommTestData::kFixedLength;
    inputs.lengthText = "64";
    test.Run(inputs);
    std::vector<sim::HwtRequestFrame> tests;
    for (auto& request : Requests()) {
        if (request.command == kPortTestCommand) tests.push_back(std::move(request));
    }
    ASSERT_EQ(tests.size(), 2u);
    ASSERT_EQ(tests[0].blocks.size(), 1u);
    EXPECT_EQ(std::string(tests[0].blocks[0].begin(), tests[0].blocks[0].end()), "Hello");
    EXPECT_EQ(tests[0].scalars, (std::vector<int32_t>{kLoopedPort, 3000}));
    EXPECT_TRUE(tests[1].blocks.empty());
    EXPECT_EQ(tests[1].scalars, (std::vector<int32_t>{kLoopedPort, 3000, 64, 0}));
}

TEST(EnhancedCommTestData, HexadecimalTextIsReadGroupByGroup) {
    std::array<uint8_t, CommTestRunBlock::kDataSize> data = {};
    EXPECT_EQ(ReadHexData("10 47 00 47 16", data), 5u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 5), (Bytes{0x10, 0x47, 0x00, 0x47, 0x16}));
    EXPECT_EQ(ReadHexData("1 47", data), 0u);
    EXPECT_EQ(ReadHexData("0a fF", data), 2u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 2), (Bytes{0x0A, 0xFF}));
    // A lone trailing digit, a double blank or a wrong digit ends the data.
    EXPECT_EQ(ReadHexData("10 4", data), 1u);
    EXPECT_EQ(ReadHexData("10  47", data), 1u);
    EXPECT_EQ(ReadHexData("10 4g 47", data), 1u);
    EXPECT_EQ(ReadHexData("1047", data), 0u);
    EXPECT_EQ(ReadHexData("", data), 0u);

    // Only 255 characters are read, and never more bytes than fit.
    std::string longText;
    for (int index = 0; index < 100; ++index) longText += "AB ";
    EXPECT_EQ(ReadHexData(longText, data), 85u);
    std::array<uint8_t, 2> small = {};
    EXPECT_EQ(ReadHexData("01 02 03", small), 2u);
}

TEST(EnhancedCommTestNoClient, OnlyTheRunFinishedNoticeComes) {
    ASSERT_EQ(CurrentHwtClient(), nullptr);
    RecordedTest test(1);
    test.Run({});
    EXPECT_EQ(test.Ids(), (std::vector<uint32_t>{kCommTestFinished}));
}

TEST_F(EnhancedCommTestRun, AClosedChannelEndsTheRunWithItsMessage) {
    ComClose(channel_);
    RecordedTest test(kLoopedPort);
    CommTestInputs inputs;
    inputs.repeat = true;
    test.Run(inputs);
    ASSERT_EQ(test.Ids(), (std::vector<uint32_t>{kCommTestFailed, kCommTestFinished}));
    EXPECT_EQ(test.Notices()[0].comment, "Port geschlossen");
    EXPECT_EQ(test.Notices()[0].code, 0);
}

}  // namespace
}  // namespace testbay
