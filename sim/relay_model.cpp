#include "sim/relay_model.h"

#include "platform/clock.h"
#include "protocol/boot_protocol.h"

namespace testbay::sim {

RelayModel::RelayModel(RelayConfig config)
    : config_(config), boot_(hardware_.identity, config_.bootNakEvery), state_(config.startState) {}

RelayModel::RelayModel(LineSettings line) : RelayModel(RelayConfig{.hardwareTestLine = line}) {}

const LineSettings& RelayModel::Line() const {
    const uint32_t state = RunningOrNext();
    if (state == kStateBootSystem) return config_.bootLine;
    if (state == kStateApplication) return config_.applicationLine;
    return config_.hardwareTestLine;
}

LineProtocol RelayModel::Protocol() const {
    const uint32_t state = RunningOrNext();
    if (state == kStateBootSystem) return LineProtocol::BootSystem;
    if (state == kStateApplication) return LineProtocol::Application;
    return LineProtocol::HardwareTest;
}

bool RelayModel::Hears(const LineSettings& pcSide) const {
    const LineSettings& line = Line();
    return pcSide.baud == line.baud && (config_.anyParity || pcSide.parity == line.parity);
}

uint32_t RelayModel::State() {
    if (state_ == kRestarting && ProcessClock().NowMs() >= restartDoneMs_) FinishRestart();
    return state_;
}

void RelayModel::Restart(uint32_t target, int64_t delayMs) {
    state_ = kRestarting;
    restartTarget_ = target;
    restartDoneMs_ = ProcessClock().NowMs() + delayMs;
}

void RelayModel::FinishRestart() {
    state_ = restartTarget_;
    assembler_.Reset();
    boot_.Reset();
    application_.Reset();
    // The hardware-test firmware always starts at its start rate.
    if (state_ == kStateHardwareTest) config_.hardwareTestLine.baud = kHwtStartBaud;
}

std::vector<std::vector<uint8_t>> RelayModel::Receive(const uint8_t* bytes, size_t count, const LineSettings& pcSide) {
    const uint32_t state = State();
    if (state == kRestarting) return {};
    if (!Hears(pcSide)) {
        assembler_.Reset();
        boot_.Reset();
        application_.Reset();
        return {};
    }
    if (state == kStateBootSystem) return BootReceive(bytes, count);
    if (state == kStateApplication) return ApplicationReceive(bytes, count);
    return HardwareTestReceive(bytes, count);
}

std::vector<std::vector<uint8_t>> RelayModel::HardwareTestReceive(const uint8_t* bytes, size_t count) {
    std::vector<std::vector<uint8_t>> answers;
    for (const HwtRequestFrame& request : assembler_.Feed(bytes, count)) {
        std::vector<uint8_t> answer = firmware_.Answer(request);
        if (!answer.empty()) answers.push_back(std::move(answer));
        // The answer still goes out at the old rate; whatever follows it in
        // this chunk was sent at the old rate too and is garbage now.
        if (const uint32_t baud = hardware_.requestedLinkBaud) {
            hardware_.requestedLinkBaud = 0;
            config_.hardwareTestLine.baud = baud;
            assembler_.Reset();
            break;
        }
        if (const int32_t mode = hardware_.requestedRestart) {
            hardware_.requestedRestart = 0;
            RestartAfterReset(mode);
            break;
        }
    }
    return answers;
}

void RelayModel::RestartAfterReset(int32_t mode) {
    if (mode == kResetIntoBootSystem) {
        Restart(kStateBootSystem, config_.hardwareTestToBootMs);
    } else if (mode == kStateApplication || mode == kResetIntoApplication) {
        Restart(kStateApplication, config_.hardwareTestToApplicationMs);
    } else {
        Restart(kStateHardwareTest, config_.hardwareTestRestartMs);
    }
}

std::vector<std::vector<uint8_t>> RelayModel::BootReceive(const uint8_t* bytes, size_t count) {
    BootSystem::Outcome outcome = boot_.Receive(bytes, count);
    if (outcome.restartCode == kStartHardwareTest) Restart(kStateHardwareTest, config_.bootToHardwareTestMs);
    return std::move(outcome.answers);
}

std::vector<std::vector<uint8_t>> RelayModel::ApplicationReceive(const uint8_t* bytes, size_t count) {
    VdewApplication::Outcome outcome = application_.Receive(bytes, count);
    if (outcome.restartIntoHardwareTest) Restart(kStateHardwareTest, config_.applicationToHardwareTestMs);
    return std::move(outcome.answers);
}

}  // namespace testbay::sim
