#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/line_settings.h"
#include "protocol/device_states.h"
#include "sim/boot_system.h"
#include "sim/hwt_codec.h"
#include "sim/hwt_firmware.h"
#include "sim/line_peer.h"
#include "sim/relay_hardware.h"
#include "sim/vdew_application.h"

namespace testbay::sim {

// Which firmware the relay runs, with the rate and parity each listens at and
// how long each restart takes.
struct RelayConfig {
    uint32_t startState = kStateHardwareTest;
    LineSettings hardwareTestLine{38400, kParityNone, kStopOne};
    LineSettings bootLine{115200, kParityNone, kStopOne};
    LineSettings applicationLine{38400, kParityEven, kStopOne};
    int64_t bootToHardwareTestMs = 500;
    int64_t applicationToHardwareTestMs = 1500;
    int64_t hardwareTestToBootMs = 1000;
    int64_t hardwareTestToApplicationMs = 2000;
    int64_t hardwareTestRestartMs = 1000;
    uint32_t bootNakEvery = 0;  // every n-th boot-system answer is a NAK
    // Only the rate has to match: a program between the PC and the relay's
    // pseudo-terminal (a network port server) cannot show parity there.
    bool anyParity = false;
};

// The virtual relay: boot system, protection application and hardware-test
// firmware, with the restarts between them. It listens at the current
// firmware's rate and parity only: bytes sent with other settings arrive as
// garbage and get no answer; while it restarts it hears nothing.
class RelayModel final : public LinePeer {
public:
    static constexpr uint32_t kRestarting = 0;

    explicit RelayModel(RelayConfig config = {});
    // Starts in the hardware test, listening with `line`.
    explicit RelayModel(LineSettings line);

    std::vector<std::vector<uint8_t>> Receive(const uint8_t* bytes, size_t count, const LineSettings& pcSide) override;
    uint32_t Baud() const override { return Line().baud; }
    // The protocol of the firmware running now, or of the one it restarts into.
    LineProtocol Protocol() const override;

    // The firmware running now (kRestarting during a restart).
    uint32_t State();
    // Restarts as a reset of the hardware-test firmware with that mode does.
    void RestartInto(uint32_t state) { RestartAfterReset(static_cast<int32_t>(state)); }
    const LineSettings& Line() const;
    RelayHardware& Hardware() { return hardware_; }
    RelayConfig& Config() { return config_; }

private:
    uint32_t RunningOrNext() const { return state_ == kRestarting ? restartTarget_ : state_; }
    bool Hears(const LineSettings& pcSide) const;
    void Restart(uint32_t target, int64_t delayMs);
    void FinishRestart();
    std::vector<std::vector<uint8_t>> HardwareTestReceive(const uint8_t* bytes, size_t count);
    std::vector<std::vector<uint8_t>> BootReceive(const uint8_t* bytes, size_t count);
    std::vector<std::vector<uint8_t>> ApplicationReceive(const uint8_t* bytes, size_t count);
    void RestartAfterReset(int32_t mode);

    RelayConfig config_;
    RelayHardware hardware_;
    HwtFirmware firmware_{hardware_};
    HwtRequestAssembler assembler_;
    BootSystem boot_;
    VdewApplication application_;
    uint32_t state_;
    uint32_t restartTarget_ = 0;
    int64_t restartDoneMs_ = 0;
};

}  // namespace testbay::sim
