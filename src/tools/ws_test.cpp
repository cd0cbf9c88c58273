#include "tools/ws_test.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string_view>
#include <utility>

#include "settings/settings.h"
#include "settings/settings_index.h"
#include "comm/line_failure.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "tools/decimal_text.h"

namespace testbay {
namespace {

constexpr int32_t kTimedMode = 1;
constexpr size_t kSettingSize = 256;
// Stop is noticed within this time when there is no client to test with.
constexpr int64_t kWaitSliceMs = 20;

std::string ReadWsSetting(const settings::TextKey& key) {
    char value[kSettingSize] = {};
    ReadWindowsIniString(key.section, key.key, key.defaultValue, value, sizeof(value), settings::kSharedFile);
    return value;
}

void WriteWsSetting(const settings::TextKey& key, const std::string& value) {
    WriteWindowsIniString(key.section, key.key, value.c_str(), settings::kSharedFile);
}

// "hh:mm:ss" in local time.
std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof(text), "%02i:%02i:%02i", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string FailureLine(int32_t number, const WsTestOutputs& outputs) {
    char line[512];
    std::snprintf(line, sizeof(line), "Test#%03i %s CODE=%02i RX=%08i TX=%08i %s", number, LocalTimeText().c_str(),
                  outputs.code, outputs.receiveCount, outputs.transmitCount, outputs.text.c_str());
    return line;
}

}  // namespace

WsTestRun::~WsTestRun() {
    Stop();
    Join();
}

bool WsTestRun::Start(int32_t channel, int64_t startMs, int64_t endMs, Notify notify, ClientRunHold hold) {
    if (active_.load()) return false;
    // The earlier worker has made its last notice and is ending.
    Join();
    hold_ = std::move(hold);
    notify_ = std::move(notify);
    startMs_ = startMs;
    endMs_ = endMs;
    outputs_ = {};
    active_ = true;
    worker_ = std::thread(&WsTestRun::Work, this, channel);
    return true;
}

void WsTestRun::Stop() { endMs_ = ProcessClock().NowMs(); }

void WsTestRun::Join() {
    if (worker_.joinable()) worker_.join();
}

void WsTestRun::Work(int32_t channel) {
    if (CHwtV4Client* client = CurrentHwtClient()) {
        RunTests(*client, channel);
    } else {
        WaitForEnd();
    }
    // The client is free again when the dialog learns that the run is over.
    hold_.Release();
    Report(kWsTestFinished);
    active_ = false;
}

void WsTestRun::RunTests(CHwtV4Client& client, int32_t channel) {
    const auto failure = CatchLineFailure([&] {
        do {
            // Counts a failed test does not report must not come from the test before.
            outputs_ = {};
            client.WsTest(channel, kTimedMode, &outputs_.result, &outputs_.transmitCount, &outputs_.receiveCount,
                          &outputs_.text, &outputs_.code);
            Report(kWsTestDone);
        } while (ProcessClock().NowMs() < endMs_.load());
    });
    if (failure) {
        // The channel is gone: one failed test says why, and the run ends.
        outputs_ = {};
        outputs_.text = *failure;
        Report(kWsTestDone);
    }
}

void WsTestRun::WaitForEnd() {
    Clock& clock = ProcessClock();
    for (int64_t now = clock.NowMs(); now < endMs_.load(); now = clock.NowMs()) {
        clock.SleepMs(std::min(kWaitSliceMs, endMs_.load() - now));
    }
}

void WsTestRun::Report(uint32_t notice) {
    if (notify_) notify_(notice);
}

WsTestRun& ProcessWsTestRun() {
    static WsTestRun run;
    return run;
}

WsTest::WsTest(int32_t channel, WsTestRun::Notify notify, WsTestRun& run)
    : channel_(channel), notify_(std::move(notify)), run_(run) {}

WsTest::~WsTest() {
    if (!ownsRun_) return;
    Stop();
    Join();
}

std::string WsTest::Caption() const { return "WS-Test Channel:" + std::to_string(channel_); }

void WsTest::ReadSettings() {
    timeText_ = ReadWsSetting(settings::kWsTestTime);
    const std::string baud = ReadWsSetting(settings::kWsTestBaudrate);
    const auto entry = std::find_if(kBaudRates.begin(), kBaudRates.end(),
                                    [&baud](const char* rate) { return std::string_view(rate).starts_with(baud); });
    baudEntry_ = entry == kBaudRates.end() ? -1 : static_cast<int>(entry - kBaudRates.begin());
    clockRecovery_ = ReadWsSetting(settings::kWsTestClock).starts_with('1');
}

bool WsTest::Start(const std::string& timeText, int baudEntry, bool clockRecovery) {
    if (runOpen_ || run_.IsActive()) return false;
    ClientRunHold hold = ProcessClientGuard().TryStartRun([&run = run_] { run.Stop(); });
    if (!hold) return false;
    WriteWsSetting(settings::kWsTestTime, timeText);
    int64_t seconds = ReadDecimal(timeText);
    timeText_ = timeText;
    if (seconds < 1) {
        seconds = kFallbackSeconds;
        timeText_ = std::to_string(kFallbackSeconds);
    }
    const int64_t startMs = ProcessClock().NowMs();
    const int64_t endMs = startMs + seconds * 1000;

    passed_ = 0;
    failed_ = 0;
    progress_ = 0;
    failureLines_.clear();

    const bool entryValid = baudEntry >= 0 && static_cast<size_t>(baudEntry) < kBaudRates.size();
    const std::string baudText =
        entryValid ? kBaudRates[static_cast<size_t>(baudEntry)] : settings::kWsTestBaudrate.defaultValue;
    baudEntry_ = entryValid ? baudEntry : -1;
    clockRecovery_ = clockRecovery;
    WriteWsSetting(settings::kWsTestBaudrate, baudText);
    WriteWsSetting(settings::kWsTestClock, clockRecovery ? "1" : "0");

    if (CHwtV4Client* client = CurrentHwtClient()) {
        // Not reported, like a failed WsPara; the worker's first test says what is wrong.
        CatchLineFailure([&] { client->WsPara(channel_, ReadDecimal(baudText), clockRecovery ? 1 : 0); });
    }
    // Open before the worker starts: its first notices may come before Start returns.
    runOpen_ = true;
    ownsRun_ = true;
    if (run_.Start(channel_, startMs, endMs, notify_, std::move(hold))) return true;
    runOpen_ = false;
    return false;
}

void WsTest::Stop() {
    if (ownsRun_ && run_.IsActive()) run_.Stop();
}

void WsTest::Join() {
    if (ownsRun_) run_.Join();
}

const char* WsTest::StartButtonText() const {
    if (runOpen_) return "Stop Test !";
    return finishedOnce_ ? "Start Test !" : "Start !";
}

bool WsTest::Apply(uint32_t notice) {
    switch (notice) {
    case kWsTestDone: return ApplyTestDone();
    case kWsTestFinished:
        runOpen_ = false;
        finishedOnce_ = true;
        progress_ = 0;
        return false;
    default: return false;
    }
}

bool WsTest::ApplyTestDone() {
    const WsTestOutputs& outputs = run_.Outputs();
    bool beep = false;
    if (outputs.result != 1) {
        failureLines_.push_back(FailureLine(Total(), outputs));
        ++failed_;
        beep = beepOnError_;
    } else {
        ++passed_;
    }
    UpdateProgress();
    return beep;
}

void WsTest::UpdateProgress() {
    const int64_t startMs = run_.StartMs();
    const int64_t endMs = run_.EndMs();
    if (endMs == startMs) return;
    // After a stop the clock has passed the end time.
    const int64_t percent = (ProcessClock().NowMs() - startMs) * kProgressMaximum / (endMs - startMs);
    progress_ = static_cast<int>(std::clamp<int64_t>(percent, 0, kProgressMaximum));
}

std::span<const std::string> WsTest::FailureLinesAfter(size_t shown) const {
    return std::span(failureLines_).subspan(std::min(shown, failureLines_.size()));
}

bool WsTest::SaveFailureList(const std::filesystem::path& path) const {
    std::ofstream file(path);
    if (!file) return false;
    for (const std::string& line : failureLines_) file << line << '\n';
    return static_cast<bool>(file.flush());
}

}  // namespace testbay
