#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "settings/settings.h"
#include "comm/channel.h"
#include "hwt/client_guard.h"
#include "hwt/hwt_client.h"
#include "support/environment.h"
#include "support/text_pattern.h"
#include "support/virtual_line.h"
#include "tools/ws_test.h"

namespace testbay {
namespace {

constexpr int32_t kChannel = 0;

// A WS-Test dialog's logic whose notices are kept in the worker's order and
// applied as the dialog would; `onNotice` runs after each, on the worker,
// with the number of tests done so far.
struct RecordedWsTest {
    explicit RecordedWsTest(WsTestRun& run, std::function<void(WsTest&, int)> callback = {})
        : onNotice(std::move(callback)), logic(kChannel, std::bind_front(&RecordedWsTest::Record, this), run) {}

    void Record(uint32_t notice) {
        notices.push_back(notice);
        beeps.push_back(logic.Apply(notice));
        testsDone += notice == kWsTestDone ? 1 : 0;
        if (onNotice) onNotice(logic, testsDone);
    }
    void Run(const std::string& timeText, int baudEntry = 3, bool clockRecovery = true) {
        ASSERT_TRUE(logic.Start(timeText, baudEntry, clockRecovery));
        logic.Join();
    }

    std::vector<uint32_t> notices;
    std::vector<bool> beeps;
    int testsDone = 0;
    std::function<void(WsTest&, int)> onNotice;
    WsTest logic;
};

class WsTestRunning : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(rig_.client.WsInit(kChannel, 3), 1); }
    std::string Setting(const char* key) {
        char value[64] = {};
        ReadWindowsIniString("WSTEST", key, "<none>", value, sizeof(value), "TESTBAY.INI");
        return value;
    }
    sim::WsChannel& Link() { return rig_.relay.Hardware().analog.ws[kChannel]; }

    test::HwtRelayRig rig_;
    test::ScopedEnv windowsDir_{"TESTBAY_WINDOWS_DIR", rig_.line.Dir().Path()};
    WsTestRun run_;
};

// Tests go back to back until the end time, then the run finishes; progress
// climbs to 100 and is reset with the finish. A time below one second runs five.
TEST_F(WsTestRunning, TestsFillTheRunTime) {
    std::vector<int> progress;
    RecordedWsTest recorded(run_, [&progress](WsTest& logic, int) { progress.push_back(logic.Progress()); });
    recorded.Run("3");
    EXPECT_EQ(run_.EndMs() - run_.StartMs(), 3000);
    ASSERT_GT(recorded.testsDone, 100);
    EXPECT_EQ(recorded.notices.size(), static_cast<size_t>(recorded.testsDone) + 1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
    EXPECT_EQ(progress[progress.size() - 2], 100);
    EXPECT_EQ(progress.back(), 0);
    for (const std::string time : {"0", "", "-3"}) {
        recorded.Run(time);
        EXPECT_EQ(recorded.logic.TimeText(), "5");
        EXPECT_EQ(Setting("TIME"), time);
        EXPECT_EQ(run_.EndMs() - run_.StartMs(), 5000);
    }
}

// The first test fails with counts, the second passes and the third fails
// without counts, which must not show those of the test before. Meanwhile
// neither this dialog nor another starts a second run.
TEST_F(WsTestRunning, FailureLinesCarryTheTestNumberAndTheRelaysReport) {
    Link().linkUp = false;
    bool secondStartRefused = false;
    WsTest other(kChannel, {}, run_);
    RecordedWsTest recorded(run_, [&](WsTest& logic, int done) {
        if (done == 1) {
            secondStartRefused = !logic.Start("1", 0, true) && !other.Start("1", 0, true) &&
                                 std::string(logic.StartButtonText()) == "Stop Test !";
        }
        Link().linkUp = done > 0;
        if (done == 2) Link().port = -1;
        if (done == 3) logic.Stop();
    });
    recorded.logic.SetBeepOnError(true);
    EXPECT_STREQ(recorded.logic.StartButtonText(), "Start !");
    recorded.Run("60");
    EXPECT_TRUE(secondStartRefused);
    EXPECT_EQ(recorded.beeps, (std::vector<bool>{true, false, true, false}));
    EXPECT_STREQ(recorded.logic.StartButtonText(), "Start Test !");
    const auto& lines = recorded.logic.FailureLines();
    ASSERT_EQ(lines.size(), 2u);
    // A list that shows the first line gets the second; one that shows more gets none.
    ASSERT_EQ(recorded.logic.FailureLinesAfter(1).size(), 1u);
    EXPECT_EQ(recorded.logic.FailureLinesAfter(1)[0], lines[1]);
    EXPECT_TRUE(recorded.logic.FailureLinesAfter(3).empty());
    EXPECT_TRUE(test::MatchesPattern(lines[0], "Test#000 ??:??:?? CODE=-1 RX=00000000 TX=00000100 Kein Empfang"))
        << lines[0];
    EXPECT_TRUE(
        test::MatchesPattern(lines[1], "Test#002 ??:??:?? CODE=01 RX=00000000 TX=00000000 Kanal nicht initialisiert"))
        << lines[1];

    const std::string path = rig_.line.Dir().File("failures.txt");
    ASSERT_TRUE(recorded.logic.SaveFailureList(path));
    EXPECT_EQ(test::ReadTextFile(path), lines[0] + "\n" + lines[1] + "\n");
    EXPECT_FALSE(recorded.logic.SaveFailureList(rig_.line.Dir().File("missing/failures.txt")));
}

TEST_F(WsTestRunning, SettingsAreReadAtOpeningAndWrittenAtEveryStart) {
    RecordedWsTest recorded(run_);
    // The time, baud-rate entry and clock recovery shown for a stored file.
    const auto shown = [&](const char* ini) {
        test::WriteWholeFile(rig_.line.Dir().File("TESTBAY.INI"), ini);
        recorded.logic.ReadSettings();
        return std::tuple(recorded.logic.TimeText(), recorded.logic.BaudEntry(), recorded.logic.ClockRecovery());
    };
    EXPECT_EQ(shown(""), std::tuple("1", 3, true));
    EXPECT_EQ(shown("[WSTEST]\r\nTIME=30\r\nBAUDRATE=128000\r\nCLOCK=0\r\n"), std::tuple("30", 2, false));
    EXPECT_EQ(shown("[WSTEST]\r\nBAUDRATE=64\r\nCLOCK=1 on\r\n"), std::tuple("1", 1, true));
    EXPECT_EQ(shown("[WSTEST]\r\nBAUDRATE=9600\r\n"), std::tuple("1", -1, true));

    recorded.Run("2", 0, false);
    EXPECT_EQ(Setting("TIME") + " " + Setting("BAUDRATE") + " " + Setting("CLOCK"), "2 38400 0");
    EXPECT_EQ(Link().baud, 38400);
    EXPECT_EQ(Link().clockRecovery, 0);
    // No entry selected: the default rate.
    recorded.Run("1", -1, true);
    EXPECT_EQ(Setting("BAUDRATE") + " " + Setting("CLOCK"), "512000 1");
    EXPECT_EQ(Link().baud, 512000);
}

// Another user holds the client: the dialog's Start is refused before it
// stores or sends anything; a run of its own keeps a second dialog out.
TEST_F(WsTestRunning, AStartIsRefusedWhileAnotherUserHasTheClient) {
    bool secondDialogRefused = false;
    RecordedWsTest recorded(run_, [&secondDialogRefused](WsTest&, int testsDone) {
        if (testsDone != 1) return;
        WsTestRun otherRun;
        WsTest other(kChannel + 1, {}, otherRun);
        secondDialogRefused = !other.Start("1", 3, true);
    });
    {
        const ClientUse page;
        const size_t writes = rig_.line.Line().Writes().size();
        EXPECT_FALSE(recorded.logic.Start("2", 3, true));
        EXPECT_EQ(rig_.line.Line().Writes().size(), writes);
        EXPECT_EQ(Setting("TIME"), "<none>");
        EXPECT_FALSE(recorded.logic.IsRunning());
    }
    recorded.Run("2");
    EXPECT_TRUE(secondDialogRefused);
    EXPECT_EQ(Setting("TIME"), "2");
}

TEST(WsTestWithoutClient, TheRunOnlyWaitsForItsEndTime) {
    sim::RelayModel relay;
    test::VirtualLineFixture line{relay};
    test::ScopedEnv windowsDir("TESTBAY_WINDOWS_DIR", line.Dir().Path());
    WsTestRun run;
    RecordedWsTest recorded(run);
    recorded.Run("2");
    EXPECT_EQ(recorded.notices, (std::vector<uint32_t>{kWsTestFinished}));
    EXPECT_GE(line.Clock().NowMs(), 2000);
}

}  // namespace
}  // namespace testbay
