#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testbay {

// A helper program started with a pipe on its standard output; ended with
// SIGTERM (then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv);
    // The next line of its output without the line end; false when none came
    // within `timeoutMs` or the output closed.
    bool ReadLine(std::string& line, int timeoutMs);
    // Ends it and returns its exit status as waitpid reports it.
    int Stop();

private:
    pid_t pid_ = -1;
    int outputFd_ = -1;
    std::string buffered_;
};

}  // namespace testbay
