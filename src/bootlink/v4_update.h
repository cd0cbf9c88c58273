#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bootlink/update_receivers.h"

namespace testbay {

// Result codes of the boot-system client.
enum UpdateResult : int {
    kUpdateOk = 0,
    kUpdateRejected = 1,  // NAK or a bad CRC after all repeats
    kUpdateNoAnswer = 3,  // nothing came back
    kBfNrNotAcknowledged = 276,
    kMlfbNotAcknowledged = 277,
    kTransferModeRefused1 = 290,
    kTransferModeRefused2 = 291,
    kTransferModeRefused3 = 292,
};

// The operations of a boot-system client; this system uses Connect, Reset,
// SetMlfb and SetBFNr.
class CUpdateClient {
public:
    virtual ~CUpdateClient() = default;
    virtual int Connect() = 0;
    virtual int SetMlfb(const uint8_t* text, size_t length) = 0;
    virtual int SetBFNr(const uint8_t* data, size_t length) = 0;
    virtual int Reset(uint8_t code) = 0;
};

// Client of the relay's boot system: fixed-size command and block telegrams
// with a CRC-16, answered by ACK, BEL, NAK or ETB.
class CV4Update final : public CUpdateClient {
public:
    static constexpr size_t kBufferSize = 1500;
    static constexpr size_t kCommandSize = kBootCommandSize;
    static constexpr size_t kBlockSize = kBootBlockSize;
    static constexpr size_t kMlfbBlockSize = kBootMlfbSize;
    static constexpr size_t kMaxBfNrLength = kBootSerialNumberSize;
    // The rates Connect tries after the channel's own.
    static constexpr std::array<uint32_t, 6> kBootRates = {38400, 57600, 115200, 153600, 230400, 460800};

    // `baud` is the rate the caller set on the channel; the client works at
    // whatever rate the channel has and keeps no copy.
    CV4Update(int channel, uint32_t baud);

    int Connect() override;
    int SetMlfb(const uint8_t* text, size_t length) override;
    int SetBFNr(const uint8_t* data, size_t length) override;
    int Reset(uint8_t code) override;
    // `out` (when given) gets byte 2 of an ACK answer.
    int SetTransferMode(uint8_t mode, uint8_t sub, uint32_t a, uint32_t b, uint32_t c, uint8_t* out);

private:
    int SendCommand(const uint8_t* command, size_t length, int timeoutMs, int repeats);
    int SendBlock(char first, char second, const uint8_t* data, size_t length, int timeoutMs, int repeats);
    int Send(size_t length, int timeoutMs, int repeats, FrameReceiver& receiver);
    int ConnectAtCurrentRate(int timeoutMs);

    int channel_;
    CommandAnswerReceiver commandReceiver_;
    BlockAnswerReceiver blockReceiver_;
    uint8_t answer_[kBufferSize] = {};
    size_t answerLength_ = 0;
    uint8_t transmit_[kBufferSize] = {};
    uint32_t blockCounter_ = 0;
};

}  // namespace testbay
