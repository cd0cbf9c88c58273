#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <vector>

#include "comm/serial_port.h"
#include "platform/clock.h"
#include "platform/line_settings.h"
#include "sim/fault_injector.h"
#include "sim/line_peer.h"

namespace testbay::sim {

// A serial line in memory between the PC side and a relay (or a scripted
// peer), on a virtual clock: answers arrive whole after the relay's reaction
// time (wire timing is the pseudo-terminal host's).
class MemoryLine {
public:
    MemoryLine(LinePeer& peer, VirtualClock& clock, FaultConfig faults = {});

    // The PC end. Only one may be open at a time, as with a real device.
    std::unique_ptr<SerialPort> OpenPort();

    void SetAnswerDelayMs(int64_t delayMs) { answerDelayMs_ = delayMs; }
    void RefuseBaud(uint32_t baud) { refusedBauds_.insert(baud); }
    void SetFaults(const FaultConfig& faults) { faults_.SetConfig(faults); }
    // Bytes that reach the PC at `atMs` regardless of any request.
    void InjectAt(int64_t atMs, const std::vector<uint8_t>& bytes);
    // The adapter is pulled: the open port fails from now on.
    void Unplug() { unplugged_ = true; }

    // Every write of the PC side with the settings it went out with.
    struct Written {
        std::vector<uint8_t> bytes;
        LineSettings settings;
    };
    const std::vector<Written>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }
    const LineSettings& PcSettings() const { return pcSettings_; }

private:
    friend class MemoryLinePort;
    struct TimedByte {
        int64_t atMs;
        uint8_t byte;
    };

    void PcWrite(const uint8_t* bytes, uint32_t length);
    uint32_t PcRead(uint8_t* buffer, uint32_t maximum);
    void PcWait(int timeoutMs);
    int64_t NextArrivalUs() const;
    void Schedule(const std::vector<uint8_t>& bytes, int64_t atMs);
    int64_t BabbleByteTimeUs() const;

    LinePeer& peer_;
    VirtualClock& clock_;
    FaultInjector faults_;
    int64_t answerDelayMs_ = 1;
    bool unplugged_ = false;
    bool portOpen_ = false;
    std::set<uint32_t> refusedBauds_;
    LineSettings pcSettings_;
    std::deque<TimedByte> incoming_;
    int64_t babbleStartUs_ = -1;
    uint64_t babbleSent_ = 0;
    std::vector<Written> writes_;
};

}  // namespace testbay::sim
