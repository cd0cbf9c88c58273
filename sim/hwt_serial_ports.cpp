#include <algorithm>
#include <cstdio>
#include <string>

#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {

constexpr uint32_t kLinkRates[] = {38400, 57600, 115200, 153600, 230400};
constexpr uint32_t kPortRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
constexpr int32_t kLinkPort = 0;
constexpr int32_t kProtectionInterfaceBit = 0x8;
// Port test failures: the port carries the test link; nothing came back.
constexpr int32_t kPortCarriesLink = 0x86;
constexpr int32_t kNothingReceived = -1;
constexpr size_t kHdlcReadChunk = 200;
constexpr int32_t kRecorderIdle = 0;
constexpr int32_t kRecorderRunning = 1;
constexpr int32_t kRecorderFrozen = 2;

template <typename Items>
auto Indexed(Items& items, const HwtRequestFrame& request) -> decltype(&items[0]) {
    if (request.scalars.empty() || request.scalars[0] < 0) return nullptr;
    const auto index = static_cast<size_t>(request.scalars[0]);
    return index < items.size() ? &items[index] : nullptr;
}

HwtAnswerField AnswerBytes(std::vector<uint8_t> bytes) { return {HwtAnswerField::Kind::Block, 0, std::move(bytes)}; }

// A board's serial number on the bus: the first two digits in the low byte
// of the first word, the other eight in the second word, both little-endian.
std::vector<uint8_t> BoardIdentityBlock(const BusBoard& board) {
    const auto digit = [&board](size_t index) -> uint32_t {
        return index < board.serial.size() ? static_cast<uint32_t>(board.serial[index] - '0') & 0xFu : 0u;
    };
    uint32_t second = 0;
    for (size_t index = 2; index < 10; ++index) second = second << 4 | digit(index);
    std::vector<uint8_t> block(8, 0);
    block[0] = static_cast<uint8_t>(digit(0) << 4 | digit(1));
    for (size_t index = 0; index < 4; ++index) block[4 + index] = static_cast<uint8_t>(second >> (8 * index));
    return block;
}

// One line per frame: address, frame kind with its sequence numbers, and the
// information length.
std::string DecodeHdlcFrame(const std::vector<uint8_t>& frame) {
    if (frame.size() < 2) return "ungueltiger Rahmen";
    const uint8_t control = frame[1];
    const int poll = control >> 4 & 1;
    char text[64];
    if ((control & 0x01) == 0) {
        std::snprintf(text, sizeof(text), "A=%02X I N(S)=%d N(R)=%d P=%d L=%zu", frame[0], control >> 1 & 7,
                      control >> 5 & 7, poll, frame.size() - 2);
    } else if ((control & 0x03) == 0x01) {
        static const char* const kSupervisory[] = {"RR", "RNR", "REJ", "SREJ"};
        std::snprintf(text, sizeof(text), "A=%02X %s N(R)=%d P=%d", frame[0], kSupervisory[control >> 2 & 3],
                      control >> 5 & 7, poll);
    } else {
        std::snprintf(text, sizeof(text), "A=%02X U C=%02X P=%d", frame[0], control & 0xEF, poll);
    }
    return text;
}

void RegisterPortCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    SerialPortsState& state = hardware.serialPorts;
    firmware.Register(kPortCountCommand, [&state](const HwtRequestFrame&) {
        return PassAnswer(kPortCountCommand, {AnswerScalar(static_cast<int32_t>(state.ports.size()))});
    });
    firmware.Register(kPortIdCommand, [&state](const HwtRequestFrame& request) {
        const RelayPort* port = Indexed(state.ports, request);
        return port ? PassAnswer(kPortIdCommand, {AnswerScalar(port->id)}) : FailAnswer(kPortIdCommand);
    });
    // The link port's rate is the hardware-test link's own (the model
    // switches after answering); a text block sets a port's parameters.
    firmware.Register(kBaudrateCommand, [&state, &hardware](const HwtRequestFrame& request) {
        RelayPort* port = Indexed(state.ports, request);
        if (!port) return FailAnswer(kBaudrateCommand);
        if (!request.blocks.empty()) {
            port->parameters.assign(request.blocks[0].begin(), request.blocks[0].end());
            return PassAnswer(kBaudrateCommand);
        }
        if (request.scalars.size() < 2) return FailAnswer(kBaudrateCommand);
        const auto baud = static_cast<uint32_t>(request.scalars[1]);
        if (request.scalars[0] == kLinkPort) {
            if (std::find(std::begin(kLinkRates), std::end(kLinkRates), baud) == std::end(kLinkRates)) {
                return FailAnswer(kBaudrateCommand);
            }
            hardware.requestedLinkBaud = baud;
            return PassAnswer(kBaudrateCommand);
        }
        if (std::find(std::begin(kPortRates), std::end(kPortRates), baud) == std::end(kPortRates)) {
            return FailAnswer(kBaudrateCommand);
        }
        port->baud = baud;
        return PassAnswer(kBaudrateCommand);
    });
    firmware.Register(kSendCommand, [&state](const HwtRequestFrame& request) {
        RelayPort* port = Indexed(state.ports, request);
        if (!port || request.scalars[0] == kLinkPort || request.blocks.empty()) return FailAnswer(kSendCommand);
        if (port->broken) return FailAnswer(kSendCommand, {AnswerScalar(port->faultCode)});
        port->sent.insert(port->sent.end(), request.blocks[0].begin(), request.blocks[0].end());
        return PassAnswer(kSendCommand);
    });
    // A port passes when a test plug loops it back. A protection interface
    // never sees its test come back and times out.
    firmware.Register(kPortTestCommand, [&state](const HwtRequestFrame& request) {
        const RelayPort* port = Indexed(state.ports, request);
        if (!port) return FailAnswer(kPortTestCommand);
        if (request.scalars[0] == kLinkPort) return FailAnswer(kPortTestCommand, {AnswerScalar(kPortCarriesLink)});
        if ((port->id & kProtectionInterfaceBit) != 0) return StatusAnswer(kPortTestCommand, kHwtTimeout);
        if (port->broken) return FailAnswer(kPortTestCommand, {AnswerScalar(port->faultCode)});
        if (!port->loopbackPlug) return FailAnswer(kPortTestCommand, {AnswerScalar(kNothingReceived)});
        return PassAnswer(kPortTestCommand);
    });
}

void RegisterBusCommands(HwtFirmware& firmware, SerialPortsState& state) {
    firmware.Register(kBusInfoCommand, [&state](const HwtRequestFrame& request) {
        const auto found = request.scalars.empty() ? state.boards.end() : state.boards.find(request.scalars[0]);
        if (found == state.boards.end()) return FailAnswer(kBusInfoCommand);
        const BusBoard& board = found->second;
        return PassAnswer(kBusInfoCommand,
                          {AnswerScalar(board.kind << 8 | board.version), AnswerBytes(BoardIdentityBlock(board))});
    });
    firmware.Register(kBusStatisticsCommand, [&state](const HwtRequestFrame& request) {
        const auto found = request.scalars.empty() ? state.boards.end() : state.boards.find(request.scalars[0]);
        if (found == state.boards.end()) return FailAnswer(kBusStatisticsCommand);
        return PassAnswer(kBusStatisticsCommand,
                          {AnswerScalar(found->second.events), AnswerScalar(found->second.runtimeSeconds)});
    });
    // One bit per board present, and the bus error bits.
    firmware.Register(kBusBitsCommand, [&state](const HwtRequestFrame&) {
        uint32_t present = 0;
        for (const auto& [number, board] : state.boards) present |= 1u << (number & 31);
        return PassAnswer(kBusBitsCommand, {AnswerScalar(static_cast<int32_t>(present)),
                                            AnswerScalar(static_cast<int32_t>(state.busErrorBits))});
    });
}

void RegisterModuleCommands(HwtFirmware& firmware, SerialPortsState& state) {
    firmware.Register(kModuleInfoCommand, [&state](const HwtRequestFrame& request) {
        const PlugInModule* module = Indexed(state.modules, request);
        return module ? PassAnswer(kModuleInfoCommand, {AnswerScalar(module->info)}) : FailAnswer(kModuleInfoCommand);
    });
    firmware.Register(kModuleResetCommand, [&state](const HwtRequestFrame& request) {
        PlugInModule* module = Indexed(state.modules, request);
        if (!module || module->info == 0 || request.scalars.size() < 2) return FailAnswer(kModuleResetCommand);
        module->heldInReset = request.scalars[1] != 0;
        return PassAnswer(kModuleResetCommand);
    });
    firmware.Register(kModuleTestCommand, [&state](const HwtRequestFrame& request) {
        const PlugInModule* module = Indexed(state.modules, request);
        if (!module || module->info == 0 || module->heldInReset) return FailAnswer(kModuleTestCommand);
        return PassAnswer(kModuleTestCommand, {AnswerScalar(module->testResult)});
    });
    firmware.Register(kModuleCommand, [&state](const HwtRequestFrame& request) {
        const PlugInModule* module = Indexed(state.modules, request);
        if (!module || module->info == 0) return FailAnswer(kModuleCommand);
        return PassAnswer(kModuleCommand,
                          {AnswerBytes({module->identification.begin(), module->identification.end()})});
    });
}

void RegisterHdlcCommands(HwtFirmware& firmware, HdlcRecorder& recorder) {
    firmware.Register(kHdlcParameterCommand, [&recorder](const HwtRequestFrame& request) {
        if (request.scalars.size() < 2 || request.scalars[0] <= 0) return FailAnswer(kHdlcParameterCommand);
        recorder.baud = request.scalars[0];
        return PassAnswer(kHdlcParameterCommand, {AnswerScalar(recorder.baud)});
    });
    firmware.Register(kHdlcTriggerCommand, [](const HwtRequestFrame& request) {
        return request.scalars.size() < 2 ? FailAnswer(kHdlcTriggerCommand) : PassAnswer(kHdlcTriggerCommand);
    });
    firmware.Register(kHdlcBinCommand, [](const HwtRequestFrame& request) {
        return request.scalars.size() < 2 ? FailAnswer(kHdlcBinCommand) : PassAnswer(kHdlcBinCommand);
    });
    firmware.Register(kHdlcStartCommand, [&recorder](const HwtRequestFrame&) {
        recorder.running = true;
        recorder.frozen = false;
        return PassAnswer(kHdlcStartCommand);
    });
    firmware.Register(kHdlcFreezeCommand, [&recorder](const HwtRequestFrame&) {
        recorder.running = false;
        recorder.frozen = true;
        return PassAnswer(kHdlcFreezeCommand);
    });
    firmware.Register(kHdlcStatusCommand, [&recorder](const HwtRequestFrame&) {
        const int32_t state = recorder.running ? kRecorderRunning : recorder.frozen ? kRecorderFrozen : kRecorderIdle;
        const auto frames = static_cast<int32_t>(recorder.frames.size());
        return PassAnswer(kHdlcStatusCommand,
                          {AnswerScalar(state), AnswerScalar(frames), AnswerScalar(recorder.errors)});
    });
    // Frame a from byte b on, as much as fits an answer; the recorder must
    // stand still to be read.
    firmware.Register(kHdlcReadCommand, [&recorder](const HwtRequestFrame& request) {
        const std::vector<uint8_t>* frame = recorder.running ? nullptr : Indexed(recorder.frames, request);
        const int32_t from = request.scalars.size() > 1 ? request.scalars[1] : 0;
        if (!frame || from < 0 || static_cast<size_t>(from) > frame->size()) return FailAnswer(kHdlcReadCommand);
        const auto first = frame->begin() + from;
        const auto end = first + static_cast<long>(std::min(kHdlcReadChunk, frame->size() - static_cast<size_t>(from)));
        return PassAnswer(kHdlcReadCommand,
                          {AnswerScalar(static_cast<int32_t>(frame->size())), AnswerBytes({first, end})});
    });
    firmware.Register(kHdlcDecodeCommand, [&recorder](const HwtRequestFrame& request) {
        const std::vector<uint8_t>* frame = recorder.running ? nullptr : Indexed(recorder.frames, request);
        if (!frame) return FailAnswer(kHdlcDecodeCommand);
        return PassAnswer(kHdlcDecodeCommand,
                          {AnswerScalar(static_cast<int32_t>(frame->size())), AnswerText(DecodeHdlcFrame(*frame))});
    });
}

}  // namespace

void RegisterSerialPortCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    RegisterPortCommands(firmware, hardware);
    RegisterBusCommands(firmware, hardware.serialPorts);
    RegisterModuleCommands(firmware, hardware.serialPorts);
    RegisterHdlcCommands(firmware, hardware.serialPorts.hdlc);
}

}  // namespace testbay::sim
