#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "automation/automation_server.h"
#include "support/sanitized.h"
#include "support/temp_dir.h"

namespace testbay {
namespace {

using test::TempDir;

constexpr long kPeakBoundKiB = 256 * 1024;

std::string Request(const std::string& method, const std::string& params, size_t id = 1) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method + R"(","params":)" + params +
           "}";
}

// A batch of `count` copies of one request, with ids 0, 1, ...
std::string Batch(size_t count, const std::string& method, const std::string& params) {
    std::string batch = "[";
    for (size_t id = 0; id < count; ++id) batch += (id ? "," : "") + Request(method, params, id);
    return batch + "]";
}

// `item,item,...` as long as the whole line stays within the line limit.
std::string FillLine(const std::string& head, const std::string& item, const std::string& tail) {
    std::string line = head + item;
    while (line.size() + item.size() + 1 + tail.size() < AutomationServer::kMaxLineLength) line += "," + item;
    return line + tail;
}

// The real program, reading from a pipe. It is started before the test builds
// its large lines: a child's peak memory counts what it shared with its parent
// until it ran the program.
class ServerProcess {
public:
    ServerProcess() {
        signal(SIGPIPE, SIG_IGN);
        int ends[2];
        if (pipe(ends) != 0) return;
        child_ = fork();
        if (child_ == 0) {
#ifndef TESTBAY_SANITIZED
            // A server that runs away ends here, not with the machine's memory.
            const rlimit addressSpace{3UL << 30, 3UL << 30};
            setrlimit(RLIMIT_AS, &addressSpace);
#endif
            const int out = open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || dup2(ends[0], 0) < 0 || dup2(out, 1) < 0) _exit(125);
            close(ends[1]);
            setenv("TESTBAY_CONFIG_DIR", config_.Path().c_str(), 1);
            setenv("TMPDIR", tmp_.Path().c_str(), 1);
            execl(TESTBAY_PROGRAM_PATH, TESTBAY_PROGRAM_PATH, "-Automation", static_cast<char*>(nullptr));
            _exit(126);
        }
        close(ends[0]);
        input_ = ends[1];
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // False once the server has gone.
    bool Send(std::string line) {
        line += '\n';
        for (size_t sent = 0; sent < line.size();) {
            const ssize_t written = write(input_, line.data() + sent, line.size() - sent);
            if (written <= 0) return false;
            sent += static_cast<size_t>(written);
        }
        return true;
    }

    struct Run {
        int status = -1;
        long peakKiB = 0;
        std::vector<std::string> replies;
    };
    Run Finish() {
        close(input_);
        Run run;
        rusage usage{};
        if (child_ > 0 && wait4(child_, &run.status, 0, &usage) == child_) run.peakKiB = usage.ru_maxrss;
        std::ifstream replies(output_, std::ios::binary);
        for (std::string reply; std::getline(replies, reply);) run.replies.push_back(reply);
        return run;
    }

private:
    TempDir config_, tmp_;
    const std::string output_ = tmp_.File("out");
    pid_t child_ = -1;
    int input_ = -1;
};

TEST(AutomationMemory, TheWorstLinesWithinTheLineLimitAreAnsweredInBoundedMemory) {
    ServerProcess server;
    const std::string nested = std::string(1000000, '[') + std::string(1000000, ']');
    const std::string refused = R"({"error":{"code":-32600,"message":"Invalid Request: )";
    const std::string room = "\"" + std::string(16 * 1024, 'x') + "\"";
    const std::string head = R"({"jsonrpc":"2.0","id":1,"method":"ReadMemory","params":[0,0,16,")";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Request("GetLedCount", "[1," + nested + "]"), refused + "nested deeper"},
        {Batch(20000, "$methods", "[]"), refused + "a batch holds at most"},
        {FillLine(R"({"jsonrpc":"2.0","id":1,"method":"GetLedCount","params":[)", "1", "]}"),
         refused + "more than 100000 values"},
        {FillLine(R"({"jsonrpc":"2.0","id":1,"method":"GetLedCount","params":[)", "{}", "]}"),
         refused + "more than 100000 values"},
        {FillLine(R"({"jsonrpc":"2.0","id":1,"method":"GetLedCount","params":[)", "\"" + std::string(200, 'x') + "\"",
                  "]}"),
         R"({"error":{"code":-32602,)"},
        {head + std::string(AutomationServer::kMaxLineLength - head.size() - 3, 'x') + "\"]}",
         R"({"id":1,"jsonrpc":"2.0","result":{"out":["xxxx)"},
        {Batch(AutomationServer::kMaxBatchRequests, "$methods", "[]"), R"([{"id":0,"jsonrpc":"2.0","result":[{)"},
        {Batch(AutomationServer::kMaxBatchRequests, "ReadMemory", "[0,0,16," + room + "]"),
         R"([{"id":0,"jsonrpc":"2.0","result":{"out":["xxxx)"},
        {Request("GetTestbayVersion", "[]"), R"({"id":1,"jsonrpc":"2.0","result":{"out":[],"return":"04.02.08"}})"},
    };
    for (const auto& [line, reply] : cases) {
        EXPECT_LE(line.size(), AutomationServer::kMaxLineLength);
        if (!server.Send(line)) break;
    }
    const ServerProcess::Run run = server.Finish();
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << "status " << run.status;
    ASSERT_EQ(run.replies.size(), cases.size());
    for (size_t index = 0; index < cases.size(); ++index) {
        EXPECT_EQ(run.replies[index].substr(0, cases[index].second.size()), cases[index].second) << "line " << index;
    }
#ifdef TESTBAY_SANITIZED
    GTEST_SKIP() << "peak memory is not the program's own under a sanitizer";
#else
    EXPECT_LT(run.peakKiB, kPeakBoundKiB);
    RecordProperty("peak_kib", std::to_string(run.peakKiB));
#endif
}

}  // namespace
}  // namespace testbay
