#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hwt/client_guard.h"

namespace testbay {

class CHwtV4Client;

// What the WS-Test worker tells its dialog.
enum WsTestNoticeId : uint32_t {
    kWsTestFinished = 1025,
    kWsTestDone = 1026,
};

// The outputs of the test just made.
struct WsTestOutputs {
    int32_t result = 0;  // 1 = passed
    int32_t transmitCount = 0;
    int32_t receiveCount = 0;
    int32_t code = 0;
    std::string text;
};

// The one WS-Test run of the process: its worker, its time frame and the
// outputs of the last test. The worker repeats the relay's protection-
// interface test until the end time; the owner's thread changes only the end
// time while it runs. Every notice is made synchronously, so the outputs are
// read during a one-test-done notice before the next test starts.
class WsTestRun {
public:
    using Notify = std::function<void(uint32_t notice)>;

    WsTestRun() = default;
    ~WsTestRun();
    WsTestRun(const WsTestRun&) = delete;
    WsTestRun& operator=(const WsTestRun&) = delete;

    // Starts a worker on `channel` that tests until `endMs` (at least once)
    // and lets `hold` go before its run-finished notice; false while an
    // earlier worker has not ended.
    bool Start(int32_t channel, int64_t startMs, int64_t endMs, Notify notify, ClientRunHold hold);
    // End time = now: the worker ends after its current test.
    void Stop();
    // Waits until the worker has ended.
    void Join();
    bool IsActive() const { return active_.load(); }

    int64_t StartMs() const { return startMs_; }
    int64_t EndMs() const { return endMs_.load(); }
    // Valid during a one-test-done notice and after the run.
    const WsTestOutputs& Outputs() const { return outputs_; }

private:
    void Work(int32_t channel);
    void RunTests(CHwtV4Client& client, int32_t channel);
    // Without a client no test is made: the run only lasts its time.
    void WaitForEnd();
    void Report(uint32_t notice);

    Notify notify_;
    int64_t startMs_ = 0;
    std::atomic<int64_t> endMs_{0};
    WsTestOutputs outputs_;
    ClientRunHold hold_;
    std::atomic<bool> active_{false};
    std::thread worker_;
};

WsTestRun& ProcessWsTestRun();

// The logic under the "WS-Test" dialog of one protection-interface channel:
// the stored settings, starting and stopping the process-wide run, counters,
// progress and the failure list.
class WsTest {
public:
    static constexpr std::array<const char*, 4> kBaudRates = {"38400", "64000", "128000", "512000"};
    static constexpr int32_t kFallbackSeconds = 5;
    static constexpr int kProgressMaximum = 100;
    // What a failed test sounds with the beep option: the simple beep, then
    // the system's default sound.
    enum class Beep { kSimple, kDefaultSound };
    static constexpr std::array<Beep, 2> kErrorBeeps = {Beep::kSimple, Beep::kDefaultSound};

    WsTest(int32_t channel, WsTestRun::Notify notify, WsTestRun& run = ProcessWsTestRun());
    // Ends a run this dialog started and waits for its worker; by then the
    // notify callback must not need the destroying thread.
    ~WsTest();
    WsTest(const WsTest&) = delete;
    WsTest& operator=(const WsTest&) = delete;

    std::string Caption() const;

    // "TIME", "BAUDRATE" and "CLOCK" as the dialog shows them when it opens.
    void ReadSettings();
    const std::string& TimeText() const { return timeText_; }
    // Index into kBaudRates of the first rate that begins with the stored
    // "BAUDRATE"; -1 when none does.
    int BaudEntry() const { return baudEntry_; }
    bool ClockRecovery() const { return clockRecovery_; }

    // Stores the settings, sets the channel's parameters and starts the
    // worker. A time below one second runs five (TimeText() then says "5");
    // no baud-rate entry runs the default rate. Refused while a run is open,
    // an earlier worker has not ended or another user has the client.
    bool Start(const std::string& timeText, int baudEntry, bool clockRecovery);
    void Stop();
    void Join();
    // From Start until the run-finished notice has been applied.
    bool IsRunning() const { return runOpen_; }
    bool IsWorkerActive() const { return ownsRun_ && run_.IsActive(); }
    // "Start !" until a first run has finished, "Stop Test !" while one is open.
    const char* StartButtonText() const;

    // Counts one notice of the worker; true when it asks for kErrorBeeps.
    bool Apply(uint32_t notice);
    int32_t Passed() const { return passed_; }
    int32_t Failed() const { return failed_; }
    int32_t Total() const { return passed_ + failed_; }
    int Progress() const { return progress_; }
    const std::vector<std::string>& FailureLines() const { return failureLines_; }
    // The failure lines after the first `shown`, to be added to a list that
    // shows those.
    std::span<const std::string> FailureLinesAfter(size_t shown) const;

    void SetBeepOnError(bool on) { beepOnError_ = on; }
    // One line per failure, in order; false when the file cannot be written.
    bool SaveFailureList(const std::filesystem::path& path) const;

private:
    bool ApplyTestDone();
    void UpdateProgress();

    const int32_t channel_;
    const WsTestRun::Notify notify_;
    WsTestRun& run_;
    std::string timeText_;
    int baudEntry_ = -1;
    bool clockRecovery_ = true;
    bool ownsRun_ = false;
    bool runOpen_ = false;
    bool finishedOnce_ = false;
    bool beepOnError_ = false;
    int32_t passed_ = 0;
    int32_t failed_ = 0;
    int progress_ = 0;
    std::vector<std::string> failureLines_;
};

}  // namespace testbay
