#include "automation/request_lines.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/stop_request.h"

namespace testbay {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;
// How often a waiting Next() looks at the stop request: a signal handler
// cannot wake a condition variable.
constexpr auto kStopLookInterval = std::chrono::milliseconds(50);
// How long the destructor waits for a reader in the middle of a read before
// it leaves it behind.
constexpr auto kReaderGrace = std::chrono::milliseconds(50);

// Splits the input into lines; the state of one reader thread.
class LineSplitter {
public:
    LineSplitter(InputRead read, size_t maxLineLength)
        : read_(std::move(read)), maxLineLength_(maxLineLength), chunk_(kChunkBytes) {}

    RequestLines::Read Next(std::string& line) {
        line.clear();
        bool tooLong = false;
        for (;;) {
            if (position_ == filled_ && !Fill()) {
                if (tooLong) return RequestLines::Read::TooLong;
                return line.empty() ? RequestLines::Read::End : RequestLines::Read::Complete;
            }
            const char character = chunk_[position_++];
            if (character == '\n') return tooLong ? RequestLines::Read::TooLong : RequestLines::Read::Complete;
            if (line.size() < maxLineLength_) {
                line.push_back(character);
            } else {
                tooLong = true;
                line.clear();
            }
        }
    }

private:
    bool Fill() {
        if (ended_) return false;
        filled_ = read_(chunk_.data(), chunk_.size());
        position_ = 0;
        ended_ = filled_ == 0;
        return !ended_;
    }

    InputRead read_;
    size_t maxLineLength_;
    std::vector<char> chunk_;
    size_t position_ = 0;
    size_t filled_ = 0;
    bool ended_ = false;
};

}  // namespace

// Owned together by the object and its reader thread, which may outlive it.
struct RequestLines::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::string waiting;
    Read waitingRead = Read::End;
    bool hasWaiting = false;
    bool inputClosed = false;
    bool readerDone = false;
    bool closing = false;
};

RequestLines::RequestLines(InputRead read, size_t maxLineLength) : shared_(std::make_shared<Shared>()) {
    reader_ = std::thread([shared = shared_, splitter = LineSplitter(std::move(read), maxLineLength)]() mutable {
        std::string line;
        Read kind;
        while ((kind = splitter.Next(line)) != Read::End) {
            std::unique_lock lock(shared->mutex);
            shared->changed.wait(lock, [&] { return !shared->hasWaiting || shared->closing; });
            if (shared->closing) break;
            shared->waiting = std::move(line);
            shared->waitingRead = kind;
            shared->hasWaiting = true;
            shared->changed.notify_all();
        }
        std::lock_guard lock(shared->mutex);
        shared->inputClosed = kind == Read::End;
        // Together with the mark: Next() tells this stop from a stop signal by it.
        if (shared->inputClosed) RequestStop();
        shared->readerDone = true;
        shared->changed.notify_all();
    });
}

RequestLines::~RequestLines() {
    std::unique_lock lock(shared_->mutex);
    shared_->closing = true;
    shared_->changed.notify_all();
    const bool readerDone = shared_->changed.wait_for(lock, kReaderGrace, [&] { return shared_->readerDone; });
    lock.unlock();
    if (readerDone) {
        reader_.join();
    } else {
        reader_.detach();
    }
}

RequestLines::Read RequestLines::Next(std::string& line) {
    std::unique_lock lock(shared_->mutex);
    for (;;) {
        const bool stopSignal = StopRequested() && !shared_->inputClosed;
        if (shared_->hasWaiting && !stopSignal) {
            line = std::move(shared_->waiting);
            shared_->hasWaiting = false;
            shared_->changed.notify_all();
            return shared_->waitingRead;
        }
        if (stopSignal || shared_->inputClosed) return Read::End;
        shared_->changed.wait_for(lock, kStopLookInterval);
    }
}

}  // namespace testbay
