#include "hwt/client_guard.h"

#include <utility>

#include "hwt/hwt_client.h"

namespace testbay {

ClientRunHold::ClientRunHold(ClientRunHold&& other) noexcept : guard_(std::exchange(other.guard_, nullptr)) {}

ClientRunHold& ClientRunHold::operator=(ClientRunHold&& other) noexcept {
    if (this != &other) {
        Release();
        guard_ = std::exchange(other.guard_, nullptr);
    }
    return *this;
}

void ClientRunHold::Release() {
    if (HwtClientGuard* guard = std::exchange(guard_, nullptr)) guard->EndRun();
}

ClientRunHold HwtClientGuard::TryStartRun(std::function<void()> stop) {
    std::lock_guard lock(mutex_);
    if (runHeld_ || uses_ > 0) return ClientRunHold();
    runHeld_ = true;
    stopRun_ = std::move(stop);
    return ClientRunHold(this);
}

bool HwtClientGuard::StopRun() {
    std::lock_guard lock(mutex_);
    if (!runHeld_) return false;
    if (stopRun_) stopRun_();
    return true;
}

bool HwtClientGuard::RunHeld() const {
    std::lock_guard lock(mutex_);
    return runHeld_;
}

bool HwtClientGuard::TryEnterUse() {
    std::lock_guard lock(mutex_);
    if (runHeld_) return false;
    ++uses_;
    return true;
}

void HwtClientGuard::LeaveUse() {
    std::lock_guard lock(mutex_);
    --uses_;
}

void HwtClientGuard::EndRun() {
    std::lock_guard lock(mutex_);
    runHeld_ = false;
    stopRun_ = nullptr;
}

HwtClientGuard& ProcessClientGuard() {
    static HwtClientGuard guard;
    return guard;
}

ClientUse::ClientUse(HwtClientGuard& guard) : guard_(guard), granted_(guard.TryEnterUse()) {}

ClientUse::~ClientUse() {
    if (granted_) guard_.LeaveUse();
}

CHwtV4Client* ClientUse::Client() const { return granted_ ? CurrentHwtClient() : nullptr; }

}  // namespace testbay
