#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace testbay {

// Hands a test worker's notices to the window thread one at a time: the
// worker posts a notice and blocks until the window thread has handled it.
// A window that waits for the worker keeps handling notices while it waits,
// so a worker blocked in a notice never leaves the two waiting for each other.
// The view supplies how the window thread is woken (a posted event or message
// that calls Deliver) and what else it handles while it waits.
class NoticeHandOver {
public:
    // Called on the worker; must not block.
    using PostToWindowThread = std::function<void()>;

    explicit NoticeHandOver(PostToWindowThread post);
    NoticeHandOver(const NoticeHandOver&) = delete;
    NoticeHandOver& operator=(const NoticeHandOver&) = delete;

    // On a worker: runs `handle` on the window thread and returns after it ran.
    // Notices of several workers are handled one after the other.
    void Send(const std::function<void()>& handle);
    // On the window thread: runs the notice that waits, if any. A call from
    // within a notice's handler does nothing.
    void Deliver();
    // On the window thread: delivers notices, and between them calls
    // `handleWindowEvents`, until `ended` is true.
    void WaitUntil(const std::function<bool()>& ended, const std::function<void()>& handleWindowEvents);

private:
    const PostToWindowThread post_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* pending_ = nullptr;
    bool handling_ = false;
};

}  // namespace testbay
