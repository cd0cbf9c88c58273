#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace testbay {
namespace {

constexpr int kGraceMs = 2000;

int64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Start(const std::vector<std::string>& argv) {
    if (argv.empty() || pid_ > 0) return false;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    pid_ = pid;
    outputFd_ = pipeFds[0];
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs) {
    const int64_t deadline = MonotonicMs() + timeoutMs;
    for (;;) {
        const size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return true;
        }
        const int64_t left = deadline - MonotonicMs();
        if (outputFd_ < 0 || left <= 0) return false;
        pollfd input{outputFd_, POLLIN, 0};
        const int ready = poll(&input, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char chunk[256];
        const ssize_t count = read(outputFd_, chunk, sizeof(chunk));
        if (count <= 0) return false;
        buffered_.append(chunk, static_cast<size_t>(count));
    }
}

int ChildProcess::Stop() {
    if (outputFd_ >= 0) close(outputFd_);
    outputFd_ = -1;
    if (pid_ <= 0) return 0;
    int status = 0;
    kill(pid_, SIGTERM);
    const int64_t deadline = MonotonicMs() + kGraceMs;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (MonotonicMs() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        const timespec pause{0, 5000000};
        nanosleep(&pause, nullptr);
    }
    pid_ = -1;
    return status;
}

}  // namespace testbay
