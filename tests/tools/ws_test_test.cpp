#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/settings.h"
#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "support/environment.h"
#include "support/text_pattern.h"
#include "support/virtual_line.h"
#include "tools/ws_test.h"

namespace testbay {
namespace {

using test::ReadWholeFile;
using test::ScopedEnv;
using test::VirtualLineFixture;
using test::WriteWholeFile;

constexpr int32_t kChannel = 0;
constexpr int32_t kProtectionPort = 3;
constexpr int kEntry512000 = 3;

// A WS-Test dialog's logic whose notices are kept in the worker's order and
// applied as the dialog would; `onNotice` runs after each, on the worker.
class RecordedWsTest {
public:
    RecordedWsTest(WsTestRun& run, std::function<void(RecordedWsTest&)> onNotice = {})
        : onNotice_(std::move(onNotice)), test_(kChannel, [this](uint32_t notice) {
              notices_.push_back(notice);
              beeps_.push_back(test_.Apply(notice));
              if (onNotice_) onNotice_(*this);
          }, run) {}

    void Run(const std::string& timeText, int baudEntry = kEntry512000, bool clockRecovery = true) {
        ASSERT_TRUE(test_.Start(timeText, baudEntry, clockRecovery));
        test_.Join();
    }
    int TestsDone() const {
        int count = 0;
        for (const uint32_t notice : notices_) count += notice == kWsTestDone ? 1 : 0;
        return count;
    }

    const std::vector<uint32_t>& Notices() const { return notices_; }
    const std::vector<bool>& Beeps() const { return beeps_; }
    WsTest& Test() { return test_; }

private:
    std::vector<uint32_t> notices_;
    std::vector<bool> beeps_;
    std::function<void(RecordedWsTest&)> onNotice_;
    WsTest test_;
};

class WsTestRunning : public ::testing::Test {
protected:
    void SetUp() override {
        ComBaud(channel_, 38400);
        ASSERT_EQ(client_.WsInit(kChannel, kProtectionPort), 1);
    }
    std::string Setting(const char* key) {
        char value[64] = {};
        ReadWindowsIniString("WSTEST", key, "<none>", value, sizeof(value), "TESTBAY.INI");
        return value;
    }
    sim::WsChannel& Link() { return relay_.Hardware().analog.ws[kChannel]; }

    sim::RelayModel relay_;
    VirtualLineFixture line_{relay_};
    ScopedEnv windowsDir_{"TESTBAY_WINDOWS_DIR", line_.Dir().Path()};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
    WsTestRun run_;
};

TEST_F(WsTestRunning, ATimeBelowOneSecondRunsFiveSeconds) {
    for (const std::string time : {"0", "", "-3"}) {
        std::vector<int> progress;
        RecordedWsTest test(run_, [&progress](RecordedWsTest& recorded) {
            if (recorded.Notices().back() == kWsTestDone) progress.push_back(recorded.Test().Progress());
        });
        test.Run(time);
        EXPECT_EQ(test.Test().TimeText(), "5");
        EXPECT_EQ(Setting("TIME"), time);
        EXPECT_EQ(run_.EndMs() - run_.StartMs(), 5000);
        EXPECT_GE(line_.Clock().NowMs(), run_.EndMs());
        // Tests go back to back until the end time, then the run finishes.
        ASSERT_GT(test.TestsDone(), 100);
        EXPECT_EQ(test.Notices().back(), kWsTestFinished);
        EXPECT_EQ(test.TestsDone() + 1, static_cast<int>(test.Notices().size()));
        EXPECT_EQ(test.Test().Passed(), test.TestsDone());
        EXPECT_EQ(test.Test().Failed(), 0);
        EXPECT_FALSE(test.Test().IsRunning());
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_EQ(progress.back(), 100);
        EXPECT_EQ(test.Test().Progress(), 0);
    }
    RecordedWsTest threeSeconds(run_);
    threeSeconds.Run("3");
    EXPECT_EQ(threeSeconds.Test().TimeText(), "3");
    EXPECT_EQ(run_.EndMs() - run_.StartMs(), 3000);
}

TEST_F(WsTestRunning, FailureLinesCarryTheTestNumberAndTheRelaysReport) {
    Link().linkUp = false;
    RecordedWsTest failing(run_, [](RecordedWsTest& test) {
        if (test.TestsDone() == 2) test.Test().Stop();
    });
    failing.Run("60");
    ASSERT_EQ(failing.Test().FailureLines().size(), 2u);
    EXPECT_TRUE(test::MatchesPattern(failing.Test().FailureLines()[0],
                                     "Test#000 ??:??:?? CODE=-1 RX=00000000 TX=00000100 Kein Empfang"))
        << failing.Test().FailureLines()[0];
    EXPECT_EQ(failing.Test().FailureLines()[1].substr(0, 9), "Test#001 ");

    // Three tests pass, then the link goes down.
    Link().linkUp = true;
    RecordedWsTest mixed(run_, [this](RecordedWsTest& test) {
        if (test.TestsDone() == 3) Link().linkUp = false;
        if (test.TestsDone() == 5) test.Test().Stop();
    });
    mixed.Test().SetBeepOnError(true);
    mixed.Run("60");
    EXPECT_EQ(mixed.Test().Passed(), 3);
    EXPECT_EQ(mixed.Test().Failed(), 2);
    EXPECT_EQ(mixed.Test().Total(), 5);
    ASSERT_EQ(mixed.Test().FailureLines().size(), 2u);
    EXPECT_EQ(mixed.Test().FailureLines()[0].substr(0, 9), "Test#003 ");
    EXPECT_EQ(mixed.Test().FailureLines()[1].substr(0, 9), "Test#004 ");
    EXPECT_EQ(mixed.Beeps(), (std::vector<bool>{false, false, false, true, true, false}));
}

TEST_F(WsTestRunning, AFailureWithoutCountsDoesNotShowThoseOfTheTestBefore) {
    RecordedWsTest test(run_, [this](RecordedWsTest& recorded) {
        if (recorded.TestsDone() == 1) Link().port = -1;
        if (recorded.TestsDone() == 2) recorded.Test().Stop();
    });
    test.Run("60");
    ASSERT_EQ(test.Test().FailureLines().size(), 1u);
    const std::string& line = test.Test().FailureLines()[0];
    EXPECT_NE(line.find("CODE=01 RX=00000000 TX=00000000 Kanal nicht initialisiert"), std::string::npos) << line;
}

TEST_F(WsTestRunning, SettingsAreReadAtOpeningAndWrittenAtEveryStart) {
    RecordedWsTest test(run_);
    test.Test().ReadSettings();
    EXPECT_EQ(test.Test().TimeText(), "1");
    EXPECT_EQ(test.Test().BaudEntry(), kEntry512000);
    EXPECT_TRUE(test.Test().ClockRecovery());

    WriteWholeFile(line_.Dir().File("TESTBAY.INI"), "[WSTEST]\r\nTIME=30\r\nBAUDRATE=128000\r\nCLOCK=0\r\n");
    test.Test().ReadSettings();
    EXPECT_EQ(test.Test().TimeText(), "30");
    EXPECT_EQ(test.Test().BaudEntry(), 2);
    EXPECT_FALSE(test.Test().ClockRecovery());
    WriteWholeFile(line_.Dir().File("TESTBAY.INI"), "[WSTEST]\r\nBAUDRATE=64\r\nCLOCK=1 on\r\n");
    test.Test().ReadSettings();
    EXPECT_EQ(test.Test().BaudEntry(), 1);
    EXPECT_TRUE(test.Test().ClockRecovery());
    WriteWholeFile(line_.Dir().File("TESTBAY.INI"), "[WSTEST]\r\nBAUDRATE=9600\r\n");
    test.Test().ReadSettings();
    EXPECT_EQ(test.Test().BaudEntry(), -1);

    test.Run("2", 0, false);
    EXPECT_EQ(Setting("TIME"), "2");
    EXPECT_EQ(Setting("BAUDRATE"), "38400");
    EXPECT_EQ(Setting("CLOCK"), "0");
    EXPECT_EQ(Link().baud, 38400);
    EXPECT_EQ(Link().clockRecovery, 0);

    // No entry selected: the default rate.
    test.Run("1", -1, true);
    EXPECT_EQ(Setting("BAUDRATE"), "512000");
    EXPECT_EQ(Setting("CLOCK"), "1");
    EXPECT_EQ(Link().baud, 512000);
}

TEST_F(WsTestRunning, OneRunAtATime) {
    bool ownSecondStartRefused = false;
    bool otherDialogRefused = false;
    RecordedWsTest test(run_, [&](RecordedWsTest& recorded) {
        if (recorded.TestsDone() != 1) return;
        ownSecondStartRefused = !recorded.Test().Start("1", 0, true);
        WsTest other(kChannel, {}, run_);
        otherDialogRefused = !other.Start("1", 0, true);
        recorded.Test().Stop();
    });
    test.Run("60");
    EXPECT_TRUE(ownSecondStartRefused);
    EXPECT_TRUE(otherDialogRefused);
    EXPECT_EQ(test.TestsDone(), 1);
}

TEST_F(WsTestRunning, TheFailureListIsSavedLineByLine) {
    Link().linkUp = false;
    RecordedWsTest test(run_, [](RecordedWsTest& recorded) {
        if (recorded.TestsDone() == 3) recorded.Test().Stop();
    });
    test.Run("60");
    const std::string path = line_.Dir().File("failures.txt");
    ASSERT_TRUE(test.Test().SaveFailureList(path));
    const auto& lines = test.Test().FailureLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(ReadWholeFile(path), lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n");
    EXPECT_FALSE(test.Test().SaveFailureList(line_.Dir().File("missing/failures.txt")));
}

TEST(WsTestWithoutClient, TheRunOnlyWaitsForItsEndTime) {
    test::TempDir dir;
    ScopedEnv windowsDir("TESTBAY_WINDOWS_DIR", dir.Path());
    VirtualClock clock;
    ScopedClock clockScope(clock);
    ASSERT_EQ(CurrentHwtClient(), nullptr);
    WsTestRun run;
    RecordedWsTest test(run);
    test.Run("2");
    EXPECT_EQ(test.Notices(), (std::vector<uint32_t>{kWsTestFinished}));
    EXPECT_GE(clock.NowMs(), 2000);
}

}  // namespace
}  // namespace testbay
