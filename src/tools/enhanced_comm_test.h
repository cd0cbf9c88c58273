#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "hwt/client_guard.h"

namespace testbay {

class CHwtV4Client;

// What the worker of the enhanced communication test tells its dialog.
enum CommTestNoticeId : uint32_t {
    kCommTestPassed = 1225,
    kCommTestFailed = 1226,
    kCommTestFinished = 1227,
};

struct CommTestNotice {
    uint32_t id = kCommTestFinished;
    int32_t code = 0;
    std::string comment;
};

// Mode flags of a run; the first two exclude each other.
enum CommTestMode : uint32_t {
    kCommTestSendAndWait = 1,
    kCommTestSendOnly = 2,
    kCommTestRepeat = 4,
    kCommTestBreakOnError = 8,
};

enum class CommTestData { kFixedLength, kText, kHexadecimal };

// The dialog's controls as they stand when Start is pressed.
struct CommTestInputs {
    bool sendAndWait = true;
    std::string timeoutText = "3000";
    CommTestData data = CommTestData::kFixedLength;
    std::string lengthText = "128";
    std::string text;
    std::string hexText;
    bool repeat = false;
    bool breakOnError = false;
    std::string intervalText = "1000";
    std::string baudText;
};

// Everything a run needs. The worker reads it without locking: only the
// running flag changes while a worker is active.
struct CommTestRunBlock {
    static constexpr size_t kDataSize = 256;

    std::array<uint8_t, kDataSize> data = {};
    int32_t length = 0;
    bool fixedLength = false;
    std::atomic<bool> running{false};
    int32_t timeoutMs = 0;
    uint32_t mode = 0;
    uint32_t baud = 0;
    int32_t channel = 0;
    int32_t intervalMs = 0;
    int32_t port = 0;
};

// A column of a dialog's list: its title and its width in pixels.
struct ListColumn {
    const char* title;
    int width;
};

// One line of the error list.
struct CommTestErrorLine {
    std::string dateTime;
    std::string number;
    std::string code;
    std::string commentary;
};

// Reads bytes written as two hexadecimal digits each, separated by single
// blanks ("10 47 00 47 16"), into `data`. Reading stops at the first group
// that is not two digits followed by a blank or the end of the text, so a
// lone trailing digit is no byte. At most 255 characters are read.
size_t ReadHexData(std::string_view text, std::span<uint8_t> data);

// The comment of a failed cycle, by the relay's code.
const char* CommTestComment(int32_t code);

// The logic under the "Enhanced Communication Tests" dialog: one run at a
// time on a worker thread, which reports through `notify`; counters and the
// error list, kept on the dialog's thread through Apply.
class EnhancedCommTest {
public:
    using Notify = std::function<void(const CommTestNotice&)>;

    static constexpr const char* kHelpTopic = "comm_tests.html";
    static constexpr std::array<ListColumn, 4> kErrorColumns = {
        {{"Date / Time", 100}, {"Number", 60}, {"Code", 40}, {"Commentary", 200}}};

    EnhancedCommTest(int32_t port, Notify notify);
    // Stops a run and waits for its worker; by then `notify` must not need
    // the destroying thread.
    ~EnhancedCommTest();
    EnhancedCommTest(const EnhancedCommTest&) = delete;
    EnhancedCommTest& operator=(const EnhancedCommTest&) = delete;

    // Fills the run block from the inputs and starts the worker. Refused
    // while a run is open, the previous worker has not ended yet or another
    // user has the client.
    bool Start(const CommTestInputs& inputs);
    // The worker ends after its current cycle.
    void Stop();
    // Waits until the worker has ended.
    void Join();

    // From Start until the run-finished notice has been applied.
    bool IsRunning() const { return runOpen_; }
    // From Start until the worker has made its last notice.
    bool IsWorkerActive() const { return workerActive_.load(); }
    // The start button's label: it says "&Stop" until the run has finished.
    const char* StartButtonText() const { return runOpen_ ? "&Stop" : "&Start"; }

    // Counts and lists one notice of the worker.
    void Apply(const CommTestNotice& notice);
    int32_t Passed() const { return passed_; }
    int32_t Failed() const { return failed_; }
    // Newest first.
    const std::deque<CommTestErrorLine>& ErrorLines() const { return errorLines_; }

private:
    void FillRunBlock(const CommTestInputs& inputs);
    void Work();
    void RunCycles(CHwtV4Client& client);
    // True when the cycle passed.
    bool RunCycle(CHwtV4Client& client);
    void WaitInterval();
    void Report(uint32_t id, int32_t code = 0, std::string comment = {});

    const int32_t port_;
    const Notify notify_;
    CommTestRunBlock block_;
    ClientRunHold hold_;
    std::atomic<bool> workerActive_{false};
    std::thread worker_;
    bool runOpen_ = false;
    int32_t passed_ = 0;
    int32_t failed_ = 0;
    std::deque<CommTestErrorLine> errorLines_;
};

}  // namespace testbay
