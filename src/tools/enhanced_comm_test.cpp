#include "tools/enhanced_comm_test.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "comm/line_failure.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "tools/decimal_text.h"

namespace testbay {
namespace {

constexpr size_t kMaxHexText = 255;
constexpr size_t kMaxText = 254;
// Stop is noticed within this time even during a long test interval.
constexpr int64_t kWaitSliceMs = 20;

int HexDigit(char digit) {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
    return -1;
}

// "dd.mm.yyyy hh:mm" in local time.
std::string LocalDateTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[40];
    char time[24];
    std::snprintf(date, sizeof(date), "%02i.%02i.%04i", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    std::snprintf(time, sizeof(time), "%02i:%02i", local.tm_hour, local.tm_min);
    return std::string(date) + " " + time;
}

}  // namespace

size_t ReadHexData(std::string_view text, std::span<uint8_t> data) {
    text = text.substr(0, kMaxHexText);
    size_t count = 0;
    size_t at = 0;
    while (at + 1 < text.size() && count < data.size()) {
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        const size_t next = at + 2;
        if (high < 0 || low < 0 || (next < text.size() && text[next] != ' ')) break;
        data[count++] = static_cast<uint8_t>(high << 4 | low);
        at = next + 1;
    }
    return count;
}

const char* CommTestComment(int32_t code) {
    if (code < 0) return "Timeout";
    if (code > 0) return "Character error";
    return "Testfehler";
}

EnhancedCommTest::EnhancedCommTest(int32_t port, Notify notify) : port_(port), notify_(std::move(notify)) {}

EnhancedCommTest::~EnhancedCommTest() {
    Stop();
    Join();
}

bool EnhancedCommTest::Start(const CommTestInputs& inputs) {
    if (runOpen_ || workerActive_.load()) return false;
    // The previous worker has made its last notice and is ending.
    Join();
    hold_ = ProcessClientGuard().TryStartRun([this] { Stop(); });
    if (!hold_) return false;
    FillRunBlock(inputs);
    runOpen_ = true;
    passed_ = 0;
    failed_ = 0;
    block_.running = true;
    workerActive_ = true;
    worker_ = std::thread(&EnhancedCommTest::Work, this);
    return true;
}

void EnhancedCommTest::Stop() { block_.running = false; }

void EnhancedCommTest::Join() {
    if (worker_.joinable()) worker_.join();
}

void EnhancedCommTest::FillRunBlock(const CommTestInputs& inputs) {
    block_.mode = inputs.sendAndWait ? kCommTestSendAndWait : kCommTestSendOnly;
    block_.timeoutMs = ReadDecimal(inputs.timeoutText);
    block_.data.fill(0);
    block_.fixedLength = inputs.data == CommTestData::kFixedLength;
    switch (inputs.data) {
    case CommTestData::kFixedLength: block_.length = ReadDecimal(inputs.lengthText); break;
    case CommTestData::kText: {
        const size_t length = std::min(inputs.text.size(), kMaxText);
        std::copy_n(inputs.text.begin(), length, block_.data.begin());
        block_.length = static_cast<int32_t>(length);
        break;
    }
    case CommTestData::kHexadecimal:
        block_.length = static_cast<int32_t>(ReadHexData(inputs.hexText, block_.data));
        break;
    }
    if (inputs.repeat) block_.mode |= kCommTestRepeat;
    if (inputs.breakOnError) block_.mode |= kCommTestBreakOnError;
    block_.intervalMs = ReadDecimal(inputs.intervalText);
    // A negative rate is as good as none.
    block_.baud = static_cast<uint32_t>(std::max(0, ReadDecimal(inputs.baudText)));
    block_.channel = 0;
    block_.port = port_;
}

void EnhancedCommTest::Work() {
    if (CHwtV4Client* client = CurrentHwtClient()) {
        // The channel is gone; further cycles would fail the same way.
        if (const auto failure = CatchLineFailure([&] { RunCycles(*client); })) {
            Report(kCommTestFailed, 0, *failure);
        }
    }
    // The client is free again when the dialog learns that the run is over.
    hold_.Release();
    Report(kCommTestFinished);
    workerActive_ = false;
}

void EnhancedCommTest::RunCycles(CHwtV4Client& client) {
    if (block_.baud != 0 && client.SetBaudrate(block_.port, block_.baud) != 1) {
        Report(kCommTestFailed, 0, "Fehler beim setzen der Baudrate");
    }
    do {
        if (!RunCycle(client) && (block_.mode & kCommTestBreakOnError) != 0) return;
        WaitInterval();
    } while ((block_.mode & kCommTestRepeat) != 0 && block_.running.load());
}

bool EnhancedCommTest::RunCycle(CHwtV4Client& client) {
    // A fixed length may exceed the data buffer; only the buffer goes out.
    const auto length = static_cast<size_t>(std::clamp<int32_t>(block_.length, 0, CommTestRunBlock::kDataSize));
    const std::span<const uint8_t> data(block_.data.data(), length);
    int32_t sentOk = 0;
    int result = 0;
    if ((block_.mode & kCommTestSendOnly) != 0) {
        result = client.Send(block_.port, data);
        if (result == 1) {
            sentOk = 1;
        } else {
            Report(kCommTestFailed, 0, "Fehler beim Senden");
        }
    } else if (block_.fixedLength) {
        result = client.TestSerialPortEx1(block_.port, block_.timeoutMs, block_.length, block_.channel, sentOk);
    } else {
        result = client.TestSerialPortEx2(block_.port, block_.timeoutMs, data, block_.channel, sentOk);
    }
    if (result == 1 && sentOk == 1) {
        Report(kCommTestPassed);
        return true;
    }
    const int32_t code = client.Field(0);
    Report(kCommTestFailed, code, CommTestComment(code));
    return false;
}

void EnhancedCommTest::WaitInterval() {
    Clock& clock = ProcessClock();
    const int64_t endMs = clock.NowMs() + block_.intervalMs;
    for (int64_t now = clock.NowMs(); now < endMs && block_.running.load(); now = clock.NowMs()) {
        clock.SleepMs(std::min(kWaitSliceMs, endMs - now));
    }
}

void EnhancedCommTest::Report(uint32_t id, int32_t code, std::string comment) {
    if (notify_) notify_(CommTestNotice{id, code, std::move(comment)});
}

void EnhancedCommTest::Apply(const CommTestNotice& notice) {
    switch (notice.id) {
    case kCommTestPassed: ++passed_; break;
    case kCommTestFailed:
        ++failed_;
        errorLines_.push_front(
            {LocalDateTimeText(), std::to_string(passed_ + failed_), std::to_string(notice.code), notice.comment});
        break;
    case kCommTestFinished: runOpen_ = false; break;
    default: break;
    }
}

}  // namespace testbay
