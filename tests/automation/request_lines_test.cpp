// The automation input read on a thread of its own: its end is noticed
// while a call runs, and a reader blocked in a read never holds up the end.
#include "automation/request_lines.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/stop_request.h"

namespace testbay {
namespace {

using Read = RequestLines::Read;

constexpr size_t kLimit = 16;

// Hands out `text` in small pieces, then the end.
InputRead TextInput(std::string text) {
    auto left = std::make_shared<std::string>(std::move(text));
    return [left](char* buffer, size_t size) {
        const size_t count = std::min<size_t>({size, left->size(), 5});
        left->copy(buffer, count);
        left->erase(0, count);
        return count;
    };
}

// An input that the test writes and closes.
class PipeInput {
public:
    PipeInput() { EXPECT_EQ(pipe(fds_), 0); }
    ~PipeInput() {
        Close();
        close(fds_[0]);
    }
    InputRead Reader() const {
        return [fd = fds_[0]](char* buffer, size_t size) {
            const ssize_t count = read(fd, buffer, size);
            return count > 0 ? static_cast<size_t>(count) : size_t{0};
        };
    }
    void Write(const std::string& text) { ASSERT_EQ(write(fds_[1], text.data(), text.size()), ssize_t(text.size())); }
    void Close() {
        if (fds_[1] >= 0) close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

class RequestLinesTest : public ::testing::Test {
protected:
    void SetUp() override { WithdrawStopRequest(); }
    void TearDown() override { WithdrawStopRequest(); }

    static std::string Next(RequestLines& lines, Read expected) {
        std::string line;
        EXPECT_EQ(lines.Next(line), expected);
        return line;
    }
};

TEST_F(RequestLinesTest, LinesBeforeTheEndAreStillHandedOutAndTheEndRequestsAStop) {
    RequestLines lines(TextInput("first\n" + std::string(kLimit + 1, 'x') + "\n\nlast"), kLimit);
    EXPECT_EQ(Next(lines, Read::Complete), "first");
    Next(lines, Read::TooLong);
    EXPECT_EQ(Next(lines, Read::Complete), "");
    EXPECT_EQ(Next(lines, Read::Complete), "last");
    Next(lines, Read::End);
    EXPECT_TRUE(StopRequested());
}

TEST_F(RequestLinesTest, TheInputClosingWhileALineIsServedRequestsAStop) {
    PipeInput input;
    RequestLines lines(input.Reader(), kLimit);
    input.Write("call\n");
    EXPECT_EQ(Next(lines, Read::Complete), "call");
    EXPECT_FALSE(WaitForStopRequestUs(50 * 1000));
    input.Close();
    EXPECT_TRUE(WaitForStopRequestUs(1000 * 1000));
    Next(lines, Read::End);
}

TEST_F(RequestLinesTest, AfterAStopSignalNoWaitingLineIsHandedOut) {
    PipeInput input;
    // One write: the reader holds every line and never reads again.
    input.Write("one\ntwo\nthree\n");
    RequestLines lines(input.Reader(), kLimit);
    EXPECT_EQ(Next(lines, Read::Complete), "one");
    RequestStop();
    Next(lines, Read::End);
}

TEST_F(RequestLinesTest, AReaderBlockedInAReadIsLeftBehindAndStillEndsCleanly) {
    PipeInput input;
    const auto start = std::chrono::steady_clock::now();
    {
        RequestLines lines(input.Reader(), kLimit);
        RequestStop();
        Next(lines, Read::End);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    WithdrawStopRequest();
    input.Close();
    EXPECT_TRUE(WaitForStopRequestUs(1000 * 1000));
}

TEST_F(RequestLinesTest, AnIdleWaitForTheNextLineEndsOnAStopSignal) {
    PipeInput input;
    RequestLines lines(input.Reader(), kLimit);
    const auto start = std::chrono::steady_clock::now();
    std::thread stopper([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        RequestStop();
    });
    Next(lines, Read::End);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    WithdrawStopRequest();
    input.Close();
    EXPECT_TRUE(WaitForStopRequestUs(1000 * 1000));
}

}  // namespace
}  // namespace testbay
