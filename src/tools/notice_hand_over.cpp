#include "tools/notice_hand_over.h"

#include <utility>

namespace testbay {

NoticeHandOver::NoticeHandOver(PostToWindowThread post) : post_(std::move(post)) {}

void NoticeHandOver::Send(const std::function<void()>& handle) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_ == nullptr; });
    pending_ = &handle;
    post_();
    changed_.wait(lock, [this, &handle] { return pending_ != &handle; });
}

void NoticeHandOver::Deliver() {
    std::unique_lock lock(mutex_);
    if (!pending_ || handling_) return;
    const std::function<void()>& handle = *pending_;
    handling_ = true;
    // The worker waits; the handler may open windows without holding the lock.
    lock.unlock();
    handle();
    lock.lock();
    handling_ = false;
    pending_ = nullptr;
    changed_.notify_all();
}

void NoticeHandOver::WaitUntil(const std::function<bool()>& ended, const std::function<void()>& handleWindowEvents) {
    while (!ended()) {
        Deliver();
        handleWindowEvents();
    }
}

}  // namespace testbay
