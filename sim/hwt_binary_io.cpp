#include <algorithm>
#include <functional>

#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_firmware.h"

namespace testbay::sim {
namespace {
constexpr int32_t kRelayInfoRequest = 2;
constexpr int32_t kRelayFaulty = 2;
constexpr size_t kBitsPerWord = 32;
// The mask commands always answer at least two words.
constexpr size_t kMinMaskWords = 2;
constexpr int32_t kFittedMasks = 0;
constexpr int32_t kRestartSampling = 1;

std::vector<uint8_t> CountAnswer(uint8_t command, size_t count) {
    return EncodeHwtAnswer(command, kHwtPass, {AnswerScalar(static_cast<int32_t>(count))});
}

bool NumberIn(int32_t number, size_t count) { return number >= 1 && static_cast<size_t>(number) <= count; }

std::vector<uint8_t> SwitchRelay(OutputRelay& relay, int32_t value) {
    if (value == kRelayInfoRequest) {
        return EncodeHwtAnswer(kRelayCommand, kHwtPass, {AnswerScalar(relay.board), AnswerScalar(relay.contact)});
    }
    if (value < 0 || value > 1 || relay.faulty) return FailAnswer(kRelayCommand);
    relay.on = value == 1;
    return PassAnswer(kRelayCommand);
}

std::vector<uint8_t> RelayAnswer(std::vector<OutputRelay>& relays, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    if (fields.empty()) return CountAnswer(kRelayCommand, relays.size());
    if (fields.size() > 2 || !NumberIn(fields[0], relays.size())) return FailAnswer(kRelayCommand);
    OutputRelay& relay = relays[static_cast<size_t>(fields[0] - 1)];
    if (fields.size() == 2) return SwitchRelay(relay, fields[1]);
    return EncodeHwtAnswer(kRelayCommand, kHwtPass, {AnswerScalar(relay.faulty ? kRelayFaulty : relay.on ? 1 : 0)});
}

bool MaskBit(const std::vector<int32_t>& words, size_t bit) {
    const size_t word = bit / kBitsPerWord;
    return word < words.size() && ((static_cast<uint32_t>(words[word]) >> (bit % kBitsPerWord)) & 1u) != 0;
}

// Relay i + 1 follows bit i of the mask words; faulty relays stay as they are.
std::vector<uint8_t> RelayMaskAnswer(std::vector<OutputRelay>& relays, const HwtRequestFrame& request) {
    if (request.scalars.size() != 2) return FailAnswer(kRelayMaskCommand);
    for (size_t index = 0; index < relays.size(); ++index) {
        if (!relays[index].faulty) relays[index].on = MaskBit(request.scalars, index);
    }
    return PassAnswer(kRelayMaskCommand);
}

// The info numbers run one ahead of the input numbers.
std::vector<uint8_t> InputInfoAnswer(const std::vector<BinaryInput>& inputs, int32_t infoNumber) {
    const int32_t number = infoNumber - 1;
    if (!NumberIn(number, inputs.size())) return FailAnswer(kBinaryInputCommand);
    const BinaryInput& input = inputs[static_cast<size_t>(number - 1)];
    return EncodeHwtAnswer(kBinaryInputCommand, kHwtPass,
                           {AnswerScalar(number), AnswerScalar(input.thresholdVolts), AnswerScalar(input.board)});
}

std::vector<uint8_t> InputAnswer(const std::vector<BinaryInput>& inputs, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    if (fields.empty()) return CountAnswer(kBinaryInputCommand, inputs.size());
    if (fields.size() == 2 && fields[1] == 0) return InputInfoAnswer(inputs, fields[0]);
    if (fields.size() != 1 || !NumberIn(fields[0], inputs.size())) return FailAnswer(kBinaryInputCommand);
    return EncodeHwtAnswer(kBinaryInputCommand, kHwtPass,
                           {AnswerScalar(inputs[static_cast<size_t>(fields[0] - 1)].active ? 1 : 0)});
}

// Bit i of the words (i mod 32 of word i / 32) for every input i + 1 that `selects`.
std::vector<HwtAnswerField> InputMaskWords(const std::vector<BinaryInput>& inputs,
                                           const std::function<bool(const BinaryInput&)>& selects) {
    const size_t wordCount = std::max(kMinMaskWords, (inputs.size() + kBitsPerWord - 1) / kBitsPerWord);
    std::vector<uint32_t> words(wordCount, 0);
    for (size_t index = 0; index < inputs.size(); ++index) {
        if (selects(inputs[index])) words[index / kBitsPerWord] |= 1u << (index % kBitsPerWord);
    }
    std::vector<HwtAnswerField> fields;
    for (const uint32_t word : words) fields.push_back(AnswerScalar(static_cast<int32_t>(word)));
    return fields;
}

// No field: the active inputs; 0: the fitted inputs; 1: restarts the input
// sampling and answers nothing.
std::vector<uint8_t> InputMaskAnswer(const std::vector<BinaryInput>& inputs, const HwtRequestFrame& request) {
    const auto& fields = request.scalars;
    if (fields.empty()) {
        return EncodeHwtAnswer(kBinaryInputMaskCommand, kHwtPass,
                               InputMaskWords(inputs, [](const BinaryInput& input) { return input.active; }));
    }
    if (fields.size() != 1) return FailAnswer(kBinaryInputMaskCommand);
    switch (fields[0]) {
    case kFittedMasks:
        return EncodeHwtAnswer(kBinaryInputMaskCommand, kHwtPass,
                               InputMaskWords(inputs, [](const BinaryInput&) { return true; }));
    case kRestartSampling: return PassAnswer(kBinaryInputMaskCommand);
    default: return FailAnswer(kBinaryInputMaskCommand);
    }
}

}  // namespace

void RegisterBinaryIoCommands(HwtFirmware& firmware, RelayHardware& hardware) {
    FrontPanelState& panel = hardware.frontPanel;
    firmware.Register(kRelayCommand,
                      [&panel](const HwtRequestFrame& request) { return RelayAnswer(panel.relays, request); });
    firmware.Register(kRelayMaskCommand,
                      [&panel](const HwtRequestFrame& request) { return RelayMaskAnswer(panel.relays, request); });
    firmware.Register(kBinaryInputCommand,
                      [&panel](const HwtRequestFrame& request) { return InputAnswer(panel.inputs, request); });
    firmware.Register(kBinaryInputMaskCommand,
                      [&panel](const HwtRequestFrame& request) { return InputMaskAnswer(panel.inputs, request); });
}

}  // namespace testbay::sim
