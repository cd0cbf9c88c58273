#include "sim/vdew_application.h"

#include <algorithm>

namespace testbay::sim {
namespace {

constexpr uint8_t kFixedStart = 0x10;
constexpr uint8_t kEnd = 0x16;
constexpr uint8_t kPrm = 0x40;
constexpr uint8_t kResetUserProcess = 1;
constexpr uint8_t kAcknowledge = 0x00;
constexpr size_t kFixedFrameSize = 5;

}  // namespace

VdewApplication::Outcome VdewApplication::Receive(const uint8_t* bytes, size_t count) {
    Outcome outcome;
    pending_.insert(pending_.end(), bytes, bytes + count);
    for (;;) {
        pending_.erase(pending_.begin(), std::find(pending_.begin(), pending_.end(), kFixedStart));
        if (pending_.size() < kFixedFrameSize) break;
        const uint8_t control = pending_[1];
        const uint8_t address = pending_[2];
        const bool wellFormed = pending_[3] == static_cast<uint8_t>(control + address) && pending_[4] == kEnd;
        if (!wellFormed) {
            pending_.erase(pending_.begin());
            continue;
        }
        pending_.erase(pending_.begin(), pending_.begin() + kFixedFrameSize);
        if ((control & kPrm) == 0) continue;
        outcome.answers.push_back({kFixedStart, kAcknowledge, address, address, kEnd});
        if ((control & 0x0F) == kResetUserProcess) outcome.restartIntoHardwareTest = true;
    }
    return outcome;
}

}  // namespace testbay::sim
