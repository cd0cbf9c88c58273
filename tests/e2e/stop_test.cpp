// testbay -Automation ends within a second of a stop signal or of its input
// closing, whatever call runs: a sleep of 24 days, the state search of a
// relay that never answers, the exchanges with one that never stops sending.
// It then has let go of the port and removed its temporary folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "comm/channel.h"
#include "support/relay_process.h"
#include "support/sanitized.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using Clock = std::chrono::steady_clock;

#ifdef TESTBAY_SANITIZED
// The leak check at exit takes its own time, the more so on a busy machine.
constexpr auto kStopBound = std::chrono::milliseconds(5000);
#else
constexpr auto kStopBound = std::chrono::milliseconds(1000);
#endif
constexpr auto kCallUnderWay = std::chrono::milliseconds(300);
constexpr int kReplyWaitMs = 10000;

// testbay -Automation with pipes on its standard input and output.
class AutomationProcess {
public:
    AutomationProcess(const std::string& configDir, const std::string& tmpDir) {
        int input[2], output[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(input[0], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            setenv("TESTBAY_CONFIG_DIR", configDir.c_str(), 1);
            setenv("TMPDIR", tmpDir.c_str(), 1);
            execl(TESTBAY_PROGRAM_PATH, TESTBAY_PROGRAM_PATH, "-Automation", nullptr);
            _exit(127);
        }
        close(input[0]);
        close(output[1]);
        input_ = input[1];
        output_ = output[0];
    }
    ~AutomationProcess() {
        CloseInput();
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) close(output_);
    }

    void Send(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(write(input_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    void Signal(int signal) { kill(pid_, signal); }

    // The next reply line; empty when none came in time.
    std::string Reply(int timeoutMs = kReplyWaitMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t end = received_.find('\n');
            if (end != std::string::npos) {
                std::string line = received_.substr(0, end);
                received_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd ready{output_, POLLIN, 0};
            if (poll(&ready, 1, static_cast<int>(std::max<int64_t>(left, 0))) <= 0) return {};
            char chunk[512];
            const ssize_t count = read(output_, chunk, sizeof(chunk));
            if (count <= 0) return {};
            received_.append(chunk, static_cast<size_t>(count));
        }
    }

    // Whether it ended within `bound`; its exit status in `status`.
    bool EndsWithin(Clock::duration bound, int& status) {
        const auto deadline = Clock::now() + bound;
        while (Clock::now() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) return ended_ = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool ended_ = false;
    std::string received_;
};

constexpr int kInputClosed = 0;

std::string StopName(int stop) {
    switch (stop) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "input closed";
    }
}

struct LongCall {
    const char* name;
    std::vector<std::string> relayOptions;  // none: no relay
    const char* request;
};

const LongCall kLongCalls[] = {
    {"a sleep of 24 days", {}, R"({"jsonrpc":"2.0","id":2,"method":"Sleep","params":[2147483647]})"},
    {"the state search of a silent relay",
     {"--silent"},
     R"({"jsonrpc":"2.0","id":2,"method":"EnterHardwaretestAtPort","params":["",1]})"},
    {"exchanges with a relay that never stops sending",
     {"--babble"},
     R"({"jsonrpc":"2.0","id":2,"method":"EnterHardwaretestAtPort","params":["",1]})"},
};

TEST(StopDuringACall, EveryStopEndsEveryLongCallWithinASecondAndTheProgramCleansUp) {
    for (const LongCall& call : kLongCalls) {
        for (const int stop : {SIGTERM, SIGINT, SIGHUP, kInputClosed}) {
            SCOPED_TRACE(std::string(call.name) + ", " + StopName(stop));
            test::TempDir config, tmp;
            std::unique_ptr<test::RelayProcess> relay;
            if (!call.relayOptions.empty()) relay = std::make_unique<test::RelayProcess>(call.relayOptions);
            AutomationProcess program(relay ? relay->Dir().Path() : config.Path(), tmp.Path());
            // The server is serving before the long call goes in.
            program.Send(R"({"jsonrpc":"2.0","id":1,"method":"GetTestbayVersion"})");
            ASSERT_NE(program.Reply().find("\"id\":1"), std::string::npos);
            program.Send(call.request);
            std::this_thread::sleep_for(kCallUnderWay);

            if (stop == kInputClosed) {
                program.CloseInput();
            } else {
                program.Signal(stop);
            }
            int status = -1;
            const bool ended = program.EndsWithin(kStopBound, status);
            EXPECT_TRUE(ended) << "still running " << kStopBound.count() << " ms after the stop";
            if (!ended) continue;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            // The output was still open: the call's reply says why it ended.
            const std::string reply = program.Reply(0);
            EXPECT_NE(reply.find("\"id\":2"), std::string::npos) << reply;
            EXPECT_NE(reply.find("call stopped"), std::string::npos) << reply;
            EXPECT_TRUE(std::filesystem::is_empty(tmp.Path()));
            if (relay) {
                int channel = -1;
                EXPECT_TRUE(ComOpen(1, channel)) << "the port is still held";
                ComClose(channel);
            }
        }
    }
}

}  // namespace
}  // namespace testbay
