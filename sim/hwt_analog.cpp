#include <algorithm>
#include <bit>
#include <cstdio>
#include <span>
#include <string>

#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {

constexpr int32_t kHighestAduMode = 3;
// 0 stands for any frequency outside the table.
constexpr int32_t kNominalFrequencies[] = {0, 16, 25, 50, 60};
constexpr int32_t kWsBaudRates[] = {38400, 64000, 128000, 512000};
constexpr int32_t kFullCircleMilli = 360000;
constexpr int32_t kHalfCircleMilli = 180000;
constexpr int32_t kThermoboxNumber = 1;
constexpr int32_t kThermoboxOverRange = 980;
// The SAB bus test takes five parameters.
constexpr size_t kSabParameters = 5;

// Element `number` of `items`, counted from 1; null when there is none.
template <typename Items>
auto Numbered(Items& items, int32_t number) -> decltype(&items[0]) {
    if (number < 1 || static_cast<size_t>(number) > items.size()) return nullptr;
    return &items[static_cast<size_t>(number - 1)];
}

// The channel a request's first field names, when it has `fields` scalars.
AnalogChannel* RequestedChannel(AnalogState& analog, const HwtRequestFrame& request, size_t fields = 1) {
    return request.scalars.size() < fields ? nullptr : Numbered(analog.channels, request.scalars[0]);
}

template <typename Items>
int32_t CountOf(const Items& items) {
    return static_cast<int32_t>(items.size());
}

bool IsOneOf(int32_t value, std::span<const int32_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

// Phase of `first` against `second`, within (-180, 180] degrees.
int32_t PhaseDifferenceMilli(const AnalogChannel& first, const AnalogChannel& second) {
    int32_t difference = (first.phaseMilli - second.phaseMilli) % kFullCircleMilli;
    if (difference > kHalfCircleMilli) difference -= kFullCircleMilli;
    if (difference <= -kHalfCircleMilli) difference += kFullCircleMilli;
    return difference;
}

// Six 4-character fields: three digits and a blank, "????" for a sensor
// that is not fitted, "~~~~" below and "****" above the range.
std::string ThermoboxText(const Thermobox& box) {
    std::string text;
    for (size_t sensor = 0; sensor < box.temperatures.size(); ++sensor) {
        const int32_t degrees = box.temperatures[sensor];
        char field[8];
        if (!box.fitted[sensor]) {
            std::snprintf(field, sizeof(field), "????");
        } else if (degrees < 0) {
            std::snprintf(field, sizeof(field), "~~~~");
        } else if (degrees >= kThermoboxOverRange) {
            std::snprintf(field, sizeof(field), "****");
        } else {
            std::snprintf(field, sizeof(field), "%03d ", static_cast<int>(degrees));
        }
        text += field;
    }
    return text;
}

void RegisterSupplyCommands(HwtFirmware& firmware, AnalogState& analog) {
    firmware.Register(kSupplyCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty()) return PassAnswer(kSupplyCommand, {AnswerScalar(CountOf(analog.supplies))});
        const Supply* supply = Numbered(analog.supplies, request.scalars[0]);
        if (!supply) return FailAnswer(kSupplyCommand);
        return PassAnswer(kSupplyCommand, {AnswerScalar(supply->identifier), AnswerScalar(supply->value),
                                           AnswerScalar(supply->low), AnswerScalar(supply->high)});
    });
    firmware.Register(kBatteryCommand, [&analog](const HwtRequestFrame&) {
        return analog.batteryOk ? PassAnswer(kBatteryCommand) : FailAnswer(kBatteryCommand);
    });
    firmware.Register(kPowerFailCommand, [&analog](const HwtRequestFrame&) {
        return PassAnswer(kPowerFailCommand, {AnswerScalar(analog.powerFail)});
    });
}

void RegisterChannelCommands(HwtFirmware& firmware, AnalogState& analog) {
    firmware.Register(kChannelValueCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty()) return PassAnswer(kChannelValueCommand, {AnswerScalar(CountOf(analog.channels))});
        const AnalogChannel* channel = Numbered(analog.channels, request.scalars[0]);
        if (!channel) return FailAnswer(kChannelValueCommand);
        return PassAnswer(kChannelValueCommand, {AnswerScalar(channel->channelValue), AnswerScalar(channel->measured)});
    });
    firmware.Register(kChannelInfoCommand, [&analog](const HwtRequestFrame& request) {
        const AnalogChannel* channel = RequestedChannel(analog, request);
        if (!channel) return FailAnswer(kChannelInfoCommand);
        return PassAnswer(kChannelInfoCommand, {AnswerScalar(channel->channelValue), AnswerScalar(channel->type),
                                                AnswerScalar(channel->divisor), AnswerScalar(channel->multiplier),
                                                AnswerScalar(channel->board)});
    });
    firmware.Register(kPhaseCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.size() < 2) return FailAnswer(kPhaseCommand);
        const AnalogChannel* first = Numbered(analog.channels, request.scalars[0]);
        const AnalogChannel* second = Numbered(analog.channels, request.scalars[1]);
        if (!first || !second) return FailAnswer(kPhaseCommand);
        return PassAnswer(kPhaseCommand, {AnswerScalar(PhaseDifferenceMilli(*first, *second))});
    });
    firmware.Register(kFreezeCommand, [&analog](const HwtRequestFrame&) {
        analog.frozen = true;
        return PassAnswer(kFreezeCommand);
    });
    firmware.Register(kAdcCommand, [&analog](const HwtRequestFrame& request) {
        const AnalogChannel* channel = RequestedChannel(analog, request, 3);
        if (!channel) return FailAnswer(kAdcCommand);
        return PassAnswer(kAdcCommand, {AnswerScalar(channel->RawCounts() + channel->zeroOffset - channel->offset)});
    });
    firmware.Register(kAmplifyMaskCommand, [&analog](const HwtRequestFrame& request) {
        const AnalogChannel* channel = RequestedChannel(analog, request);
        if (!channel) return FailAnswer(kAmplifyMaskCommand);
        return PassAnswer(kAmplifyMaskCommand, {AnswerScalar(static_cast<int32_t>(channel->amplifyMask))});
    });
    firmware.Register(kAmplifyCommand, [&analog](const HwtRequestFrame& request) {
        AnalogChannel* channel = RequestedChannel(analog, request, 2);
        if (!channel) return FailAnswer(kAmplifyCommand);
        const auto range = static_cast<uint32_t>(request.scalars[1]);
        if (!std::has_single_bit(range) || (channel->amplifyMask & range) == 0) return FailAnswer(kAmplifyCommand);
        return PassAnswer(kAmplifyCommand);
    });
    firmware.Register(kMinmaxCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty()) {
            for (AnalogChannel& channel : analog.channels) {
                channel.rawMinimum = channel.rawMaximum = channel.RawCounts();
            }
            return PassAnswer(kMinmaxCommand);
        }
        const AnalogChannel* channel = Numbered(analog.channels, request.scalars[0]);
        if (!channel) return FailAnswer(kMinmaxCommand);
        return PassAnswer(kMinmaxCommand, {AnswerScalar(channel->rawMinimum), AnswerScalar(channel->rawMaximum)});
    });
    firmware.Register(kTransducerCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty()) return PassAnswer(kTransducerCommand, {AnswerScalar(CountOf(analog.transducers))});
        const Transducer* transducer = Numbered(analog.transducers, request.scalars[0]);
        if (!transducer) return FailAnswer(kTransducerCommand);
        return PassAnswer(kTransducerCommand,
                          {AnswerScalar(transducer->microampere), AnswerScalar(transducer->status)});
    });
}

void RegisterSamplingCommands(HwtFirmware& firmware, AnalogState& analog) {
    firmware.Register(kAduModeCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty() || request.scalars[0] < 0 || request.scalars[0] > kHighestAduMode) {
            return FailAnswer(kAduModeCommand);
        }
        if (request.scalars.size() > 1) analog.frequency = request.scalars[1];
        return PassAnswer(kAduModeCommand);
    });
    firmware.Register(kFrequencyCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty()) return PassAnswer(kFrequencyCommand, {AnswerScalar(analog.frequencyScale)});
        if (request.scalars.size() < 2 || !IsOneOf(request.scalars[0], kNominalFrequencies)) {
            return FailAnswer(kFrequencyCommand);
        }
        analog.frequency = request.scalars[1];
        return PassAnswer(kFrequencyCommand);
    });
    // The inputs carry the fundamental only: at any other frequency the
    // amplitude is 0.
    firmware.Register(kAmplitudeCommand, [&analog](const HwtRequestFrame& request) {
        const AnalogChannel* channel = RequestedChannel(analog, request, 2);
        if (!channel) return FailAnswer(kAmplitudeCommand);
        return PassAnswer(kAmplitudeCommand,
                          {AnswerScalar(request.scalars[1] == analog.frequency ? channel->measured : 0)});
    });
}

void RegisterOffsetCommands(HwtFirmware& firmware, AnalogState& analog) {
    firmware.Register(kCalculateOffsetCommand, [&analog](const HwtRequestFrame& request) {
        const AnalogChannel* channel = RequestedChannel(analog, request);
        if (!channel) return FailAnswer(kCalculateOffsetCommand);
        return PassAnswer(kCalculateOffsetCommand, {AnswerScalar(channel->zeroOffset)});
    });
    firmware.Register(kGetOffsetCommand, [&analog](const HwtRequestFrame& request) {
        const AnalogChannel* channel = RequestedChannel(analog, request);
        if (!channel) return FailAnswer(kGetOffsetCommand);
        return PassAnswer(kGetOffsetCommand, {AnswerScalar(channel->offset)});
    });
    firmware.Register(kSetOffsetCommand, [&analog](const HwtRequestFrame& request) {
        AnalogChannel* channel = RequestedChannel(analog, request, 2);
        if (!channel) return FailAnswer(kSetOffsetCommand);
        channel->offset = request.scalars[1];
        return PassAnswer(kSetOffsetCommand);
    });
    firmware.Register(kOffsetModeCommand, [&analog](const HwtRequestFrame& request) {
        const int32_t mode = request.scalars.empty() ? -1 : request.scalars[0];
        if (mode == 2) {
            for (AnalogChannel& channel : analog.channels) channel.offset = channel.zeroOffset;
        } else if (mode != 3 && mode != 0) {
            return FailAnswer(kOffsetModeCommand);
        }
        return PassAnswer(kOffsetModeCommand);
    });
    firmware.Register(kAnalogOutputCommand, [&analog](const HwtRequestFrame& request) {
        AnalogOutput* output = request.scalars.empty() ? nullptr : Numbered(analog.outputs, request.scalars[0]);
        if (!output) return FailAnswer(kAnalogOutputCommand);
        if (request.scalars.size() == 1) {
            return PassAnswer(kAnalogOutputCommand, {AnswerScalar(output->minimum), AnswerScalar(output->maximum),
                                                     AnswerScalar(output->bits)});
        }
        if (request.scalars.size() == 2) return PassAnswer(kAnalogOutputCommand, {AnswerScalar(output->value)});
        const int32_t value = request.scalars[2];
        if (value < output->minimum || value > output->maximum) return FailAnswer(kAnalogOutputCommand);
        output->value = value;
        return PassAnswer(kAnalogOutputCommand);
    });
}

void RegisterCalibrationCommands(HwtFirmware& firmware, AnalogState& analog) {
    firmware.Register(kGetCalibrationCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty()) return PassAnswer(kGetCalibrationCommand, {AnswerScalar(analog.calibrationScale)});
        if (!RequestedChannel(analog, request, 3)) return FailAnswer(kGetCalibrationCommand);
        const CalibrationKey key{request.scalars[0], request.scalars[1], request.scalars[2]};
        const auto found = analog.calibration.find(key);
        // Uncalibrated: gain 1, offset 0.
        const CalibrationPair pair =
            found != analog.calibration.end() ? found->second : CalibrationPair{analog.calibrationScale, 0};
        return PassAnswer(kGetCalibrationCommand, {AnswerScalar(pair.gain), AnswerScalar(pair.offset)});
    });
    firmware.Register(kSetCalibrationCommand, [&analog](const HwtRequestFrame& request) {
        if (!RequestedChannel(analog, request, 5)) return FailAnswer(kSetCalibrationCommand);
        const CalibrationKey key{request.scalars[0], request.scalars[1], request.scalars[2]};
        analog.calibration[key] = CalibrationPair{request.scalars[3], request.scalars[4]};
        return PassAnswer(kSetCalibrationCommand);
    });
    firmware.Register(kStoreCalibrationCommand,
                      [](const HwtRequestFrame&) { return PassAnswer(kStoreCalibrationCommand); });
    firmware.Register(kCalDefaultsCommand, [&analog](const HwtRequestFrame&) {
        analog.calibration.clear();
        return PassAnswer(kCalDefaultsCommand);
    });
    // One board number: read its calibration data; with a text block: set
    // its reference; with a second number: set its calibration id.
    firmware.Register(kCalParameterCommand, [&analog](const HwtRequestFrame& request) {
        const int32_t number = request.scalars.empty() ? 0 : request.scalars[0];
        if (number < 1 || static_cast<size_t>(number) >= analog.boardCalibration.size()) {
            return FailAnswer(kCalParameterCommand);
        }
        BoardCalibration& board = analog.boardCalibration[static_cast<size_t>(number)];
        if (!request.blocks.empty()) {
            if (request.scalars.size() < 2) return FailAnswer(kCalParameterCommand);
            board.referenceText.assign(request.blocks[0].begin(), request.blocks[0].end());
            board.referenceValue = request.scalars[1];
            return PassAnswer(kCalParameterCommand);
        }
        if (request.scalars.size() >= 2) {
            board.sid = request.scalars[1];
            return PassAnswer(kCalParameterCommand);
        }
        return PassAnswer(kCalParameterCommand, {AnswerScalar(board.sid), AnswerText(board.referenceText),
                                                 AnswerScalar(board.referenceValue)});
    });
}

void RegisterInterfaceTestCommands(HwtFirmware& firmware, AnalogState& analog) {
    firmware.Register(kThbInitCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.empty() || request.scalars[0] != kThermoboxNumber || !analog.thermobox.connected) {
            return FailAnswer(kThbInitCommand);
        }
        analog.thermobox.initialised = true;
        return PassAnswer(kThbInitCommand);
    });
    firmware.Register(kThbTempCommand, [&analog](const HwtRequestFrame& request) {
        const Thermobox& box = analog.thermobox;
        if (request.scalars.empty() || request.scalars[0] != kThermoboxNumber || !box.connected || !box.initialised) {
            return FailAnswer(kThbTempCommand);
        }
        return PassAnswer(kThbTempCommand, {AnswerText(ThermoboxText(box))});
    });
    firmware.Register(kWsInitCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.size() < 2 || request.scalars[0] < 0 || request.scalars[0] >= CountOf(analog.ws)) {
            return FailAnswer(kWsInitCommand);
        }
        analog.ws[static_cast<size_t>(request.scalars[0])].port = request.scalars[1];
        return PassAnswer(kWsInitCommand);
    });
    firmware.Register(kWsParaCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.size() < 3 || request.scalars[0] < 0 || request.scalars[0] >= CountOf(analog.ws) ||
            !IsOneOf(request.scalars[1], kWsBaudRates)) {
            return FailAnswer(kWsParaCommand);
        }
        WsChannel& ws = analog.ws[static_cast<size_t>(request.scalars[0])];
        ws.baud = request.scalars[1];
        ws.clockRecovery = request.scalars[2];
        return PassAnswer(kWsParaCommand);
    });
    // Mode 1 reports the frames sent and received; a failure says why.
    firmware.Register(kWsTestCommand, [&analog](const HwtRequestFrame& request) {
        if (request.scalars.size() < 2 || request.scalars[0] < 0 || request.scalars[0] >= CountOf(analog.ws)) {
            return FailAnswer(kWsTestCommand);
        }
        const WsChannel& ws = analog.ws[static_cast<size_t>(request.scalars[0])];
        const bool counts = request.scalars[1] == 1;
        if (ws.port < 0) {
            return EncodeHwtAnswer(kWsTestCommand, kHwtFail,
                                   {AnswerText("Kanal nicht initialisiert"), AnswerScalar(1)});
        }
        if (!ws.linkUp) {
            return EncodeHwtAnswer(
                kWsTestCommand, kHwtFail,
                {AnswerText("Kein Empfang"), AnswerScalar(-1), AnswerScalar(ws.frames), AnswerScalar(0)});
        }
        if (!counts) return PassAnswer(kWsTestCommand);
        return PassAnswer(kWsTestCommand, {AnswerScalar(ws.frames), AnswerScalar(ws.frames)});
    });
    firmware.Register(kSabParaCommand, [](const HwtRequestFrame& request) {
        return request.scalars.size() < kSabParameters ? FailAnswer(kSabParaCommand) : PassAnswer(kSabParaCommand);
    });
    firmware.Register(kSabStatusCommand, [&analog](const HwtRequestFrame&) {
        AnswerFields words;
        for (const int32_t word : analog.sab.status) words.push_back(AnswerScalar(word));
        return PassAnswer(kSabStatusCommand, words);
    });
}

}  // namespace

void RegisterAnalogCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    AnalogState& analog = hardware.analog;
    RegisterSupplyCommands(firmware, analog);
    RegisterChannelCommands(firmware, analog);
    RegisterSamplingCommands(firmware, analog);
    RegisterOffsetCommands(firmware, analog);
    RegisterCalibrationCommands(firmware, analog);
    RegisterInterfaceTestCommands(firmware, analog);
}

}  // namespace testbay::sim
