#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "sim/fault_injector.h"
#include "sim/relay_model.h"

namespace testbay::sim {

// Serves a relay model on a pseudo-terminal: the PC side opens the slave
// device like any serial port, and its baud rate and parity are read from the
// terminal settings it applied.
class PtyRelayHost {
public:
    PtyRelayHost(RelayModel& model, FaultConfig faults, bool wireTiming);

    // Creates the pseudo-terminal; false with errno set on failure.
    bool Start();
    const std::string& DevicePath() const { return terminal_.SlavePath(); }
    // Serves until `stop` becomes true.
    void Run(const std::atomic<bool>& stop);

private:
    void HandleInput();
    void SendPaced(const std::vector<uint8_t>& bytes, uint32_t baud);
    void Babble();
    int64_t ByteTimeUs(uint32_t baud) const;

    RelayModel& model_;
    FaultInjector faults_;
    bool wireTiming_;
    bool babbling_ = false;
    bool hungUp_ = false;
    PseudoTerminal terminal_;
};

}  // namespace testbay::sim
