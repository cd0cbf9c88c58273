#pragma once

#include <functional>
#include <string>
#include <vector>

#include "settings/directories.h"
#include "comm/channel.h"
#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "platform/clock.h"
#include "protocol/boot_protocol.h"
#include "protocol/crc.h"
#include "protocol/hwt_commands.h"
#include "sim/memory_line.h"
#include "sim/relay_model.h"
#include "support/temp_dir.h"

namespace testbay::test {

using Bytes = std::vector<uint8_t>;

// A relay end whose answers the test writes.
class ScriptedPeer final : public sim::LinePeer {
public:
    using Script = std::function<std::vector<Bytes>(const Bytes& request)>;

    explicit ScriptedPeer(Script script = {}) : script_(std::move(script)) {}
    void SetScript(Script script) { script_ = std::move(script); }
    std::vector<Bytes> Receive(const uint8_t* bytes, size_t count, const LineSettings&) override {
        requests_.emplace_back(bytes, bytes + count);
        return script_ ? script_(requests_.back()) : std::vector<Bytes>{};
    }
    uint32_t Baud() const override { return baud_; }
    void SetBaud(uint32_t baud) { baud_ = baud; }
    const std::vector<Bytes>& Requests() const { return requests_; }

private:
    Script script_;
    uint32_t baud_ = 38400;
    std::vector<Bytes> requests_;
};

// A fresh settings directory with the trace on, a virtual clock, and COM1
// wired to `peer` over an in-memory line.
class VirtualLineFixture {
public:
    explicit VirtualLineFixture(sim::LinePeer& peer, sim::FaultConfig faults = {})
        : clockScope_(clock_), line_(peer, clock_, faults) {
        SetConfigDirectory(dir_.Path());
        SetTempDirectory(dir_.Path());
        WriteWholeFile(dir_.File("Testbay.ini"), "[FirmwareUpdate]\r\nLogfile=1\r\n");
        LogOpen("LOG.TXT");
        SetSerialPortFactory([this](int) { return line_.OpenPort(); });
    }
    ~VirtualLineFixture() {
        for (const int channel : channels_) ComClose(channel);
        SetSerialPortFactory(nullptr);
        LogClose();
    }

    int OpenChannel() {
        int channel = -1;
        if (ComOpen(1, channel)) channels_.push_back(channel);
        return channel;
    }
    std::string Trace() const { return ReadTextFile(dir_.File("LOG.TXT")); }
    bool Traced(const std::string& text) const { return Trace().find(text) != std::string::npos; }

    VirtualClock& Clock() { return clock_; }
    sim::MemoryLine& Line() { return line_; }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
    VirtualClock clock_;
    ScopedClock clockScope_;
    sim::MemoryLine line_;
    std::vector<int> channels_;
};

// The relay model on COM1 at the hardware-test firmware's start rate, with a client.
struct HwtRelayRig {
    HwtRelayRig() { ComBaud(channel, kHwtStartBaud); }

    sim::RelayModel relay;
    VirtualLineFixture line{relay};
    int channel = line.OpenChannel();
    CHwtV4Client client{channel};
};

// The scalars of every request of `command` that the PC wrote on `line`.
inline std::vector<std::vector<int32_t>> SentScalars(const sim::MemoryLine& line, uint8_t command) {
    std::vector<std::vector<int32_t>> scalars;
    for (const auto& written : line.Writes()) {
        for (const auto& request : sim::HwtRequestAssembler().Feed(written.bytes.data(), written.bytes.size())) {
            if (request.command == command) scalars.push_back(request.scalars);
        }
    }
    return scalars;
}

// The modes of the reset telegrams the PC wrote on `line`.
inline std::vector<int32_t> ResetModesWritten(const sim::MemoryLine& line) {
    std::vector<int32_t> modes;
    for (const auto& scalars : SentScalars(line, kResetCommand)) modes.push_back(scalars.at(0));
    return modes;
}

// A boot-system telegram: `head` padded with zeros to `size` bytes, the last
// two of them the CRC, high byte first.
inline Bytes BootTelegram(Bytes head, size_t size = kCommandAnswerSize) {
    head.resize(size - 2, 0);
    const uint16_t crc = Crc16Xmodem(head.data(), head.size());
    head.push_back(static_cast<uint8_t>(crc >> 8));
    head.push_back(static_cast<uint8_t>(crc));
    return head;
}

// Counts the non-overlapping occurrences of `needle` in `text`.
inline int CountOf(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
    return count;
}

}  // namespace testbay::test
