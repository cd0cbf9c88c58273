#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "comm/frame_receiver.h"

namespace testbay {

// The PC as primary station of the protection application's VDEW link (the
// unbalanced link layer of IEC 60870-5-103). Used only to find the
// application and to ask it to restart into the hardware test.
class CVDEWClient final : public FrameReceiver {
public:
    static constexpr uint8_t kResetFrameCountBit = 7;
    static constexpr uint8_t kResetUserProcess = 0x41;
    static constexpr int kMaxTransmissions = 8;
    // The rates ConnectV4 probes without a list of its own.
    static constexpr std::array<uint32_t, 6> kDefaultProbeRates = {38400, 57600, 115200, 19200, 9600, 4800};

    explicit CVDEWClient(int channel);

    // 0 when an answer frame came, 3 when none came after all transmissions.
    int SendShort(uint8_t function, int timeoutMs);
    // Probes the rates of `list` (the default list when null) with even, then
    // no parity, twice; 0 when the application answered (the channel stays
    // at that rate and parity), 1 when it did not.
    int ConnectV4(uint32_t count, const uint32_t* list);

    int Feed(const uint8_t* bytes, size_t count) override;

    uint32_t ReceivedChecksum() const { return receivedChecksum_; }

private:
    void ResetLink();
    bool FeedByte(uint8_t byte);
    int ScanRates(uint32_t count, const uint32_t* list, int parity);

    uint32_t channel_;
    uint8_t linkAddress_ = 0;
    uint8_t fcb_ = 0x20;
    uint8_t fcv_ = 0x00;
    uint8_t transmit_[5] = {};
    uint32_t expectedLength_ = 0;
    uint32_t receivedControl_ = 0;
    uint32_t receivedChecksum_ = 0;
};

}  // namespace testbay
