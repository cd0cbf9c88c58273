#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace testbay {

// Where request bytes come from: blocks for at most `size` bytes into
// `buffer`; 0 at the end of the input.
using InputRead = std::function<size_t(char* buffer, size_t size)>;

// Reads request lines on a thread of its own, so that the input closing is
// noticed while a call runs: it then requests the process to stop, which
// ends the running call. Lines that came before the end are still handed
// out; after a stop signal none is. Besides the line being read, at most one
// waits for its turn.
class RequestLines {
public:
    enum class Read { Complete, TooLong, End };

    RequestLines(InputRead read, size_t maxLineLength);
    // A reader that has finished is joined, so that no thread of it is left
    // while the process ends; one still blocked in a read of the input is
    // left behind: nothing else would end that read.
    ~RequestLines();
    RequestLines(const RequestLines&) = delete;
    RequestLines& operator=(const RequestLines&) = delete;

    // The next line without its end; a line beyond the limit is skipped
    // whole and reported as TooLong.
    Read Next(std::string& line);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread reader_;
};

}  // namespace testbay
