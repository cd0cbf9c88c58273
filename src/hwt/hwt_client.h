#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "hwt/hwt_frame_receiver.h"
#include "hwt/hwt_request.h"

namespace testbay {

// Device status bytes of a response, and what `telegramm` returns.
enum HwtStatus : uint32_t {
    kHwtFail = 0,
    kHwtPass = 1,
    kHwtDone = 2,
    kHwtCommandUnknown = 3,
    kHwtTimeout = 4,
    kHwtChecksumError = 12,
};

// Relay states as the device-state control learns them.
enum DeviceState : uint32_t {
    kStateBootSystem = 1,
    kStateApplication = 2,
    kStateHardwareTest = 3,
    kStateUnknown = 4,
};

// Client of the relay's hardware-test firmware on one serial channel. Every
// command is one request telegram and one response, repeated on time-outs and
// checksum errors; results land in ten field slots.
class CHwtV4Client {
public:
    static constexpr size_t kFieldSlots = 10;
    static constexpr size_t kFieldTextSize = 50;
    static constexpr size_t kBlockSize = 255;
    static constexpr uint32_t kDefaultAttempts = 4;
    static constexpr uint32_t kPcTimeoutRunLimit = 10;
    static constexpr size_t kResponseCopySize = 260;

    // Becomes the current client; does not own the channel.
    explicit CHwtV4Client(int channel, uint32_t unused = 0);
    // The client that was current before this one is current again.
    ~CHwtV4Client();
    CHwtV4Client(const CHwtV4Client&) = delete;
    CHwtV4Client& operator=(const CHwtV4Client&) = delete;

    // One command exchange; 1 for PASS or DONE, 0 otherwise. A time-out of 0
    // sends without listening and returns 1.
    int telegramm(uint8_t command, std::span<const HwtField> fields, int timeoutMs);
    int telegramm(uint8_t command, std::initializer_list<HwtField> fields, int timeoutMs) {
        return telegramm(command, std::span<const HwtField>(fields.begin(), fields.size()), timeoutMs);
    }
    // Fills the field slots from a received frame; 0 for a frame shorter than 3.
    int parse(const uint8_t* frame, size_t length);

    // Link maintenance.
    int FindBaudrate();
    int CheckHwt();
    int ReduceBaudrate();

    // Front panel.
    int GetLedCount(int32_t& count);
    int GetLed(int32_t led, int32_t& on);
    int SetLed(int32_t led, int32_t on);

    // Identity.
    int GetCPU(std::string& text);

    // Serial ports.
    int SetBaudrate(int32_t port, uint32_t baud);

    int Channel() const { return channel_; }
    int32_t Field(size_t index) const { return index < kFieldSlots ? values_[index] : 0; }
    const char* FieldText(size_t index) const { return index < kFieldSlots ? texts_[index] : ""; }
    const uint8_t* BlockData() const { return block_; }
    uint8_t BlockLength() const { return blockLength_; }
    uint32_t FieldCount() const { return fieldCount_; }
    uint32_t DeviceStatus() const { return deviceStatus_; }
    void SetDeviceStatus(uint32_t status) { deviceStatus_ = status; }
    uint32_t AttemptLimit() const { return attemptLimit_; }
    void SetAttemptLimit(uint32_t limit) { attemptLimit_ = limit; }
    uint32_t PcTimeoutRun() const { return pcTimeoutRun_; }
    uint32_t KnownDeviceState() const { return deviceState_; }
    void SetKnownDeviceState(uint32_t state) { deviceState_ = state; }

private:
    // Lowers the attempt limit for one operation; the default comes back
    // even when the channel throws.
    class ScopedAttemptLimit {
    public:
        ScopedAttemptLimit(CHwtV4Client& client, uint32_t limit) : client_(client) { client_.attemptLimit_ = limit; }
        ~ScopedAttemptLimit() { client_.attemptLimit_ = kDefaultAttempts; }
        ScopedAttemptLimit(const ScopedAttemptLimit&) = delete;
        ScopedAttemptLimit& operator=(const ScopedAttemptLimit&) = delete;

    private:
        CHwtV4Client& client_;
    };

    void ClearTexts();
    // Handles a complete response with a good checksum; true to repeat.
    bool AcceptResponse(uint8_t command);

    int channel_;
    int32_t values_[kFieldSlots] = {};
    uint8_t block_[kBlockSize + 1] = {};
    uint8_t blockLength_ = 0;
    uint32_t attemptLimit_ = kDefaultAttempts;
    char texts_[kFieldSlots][kFieldTextSize] = {};
    uint32_t fieldCount_ = 0;
    uint32_t deviceStatus_ = kHwtTimeout;
    uint32_t pcTimeoutRun_ = 0;
    int result_ = 0;
    uint32_t deviceState_ = kStateUnknown;
    HwtFrameReceiver receiver_;
};

// The most recently constructed client that still lives, or nullptr.
CHwtV4Client* CurrentHwtClient();

}  // namespace testbay
