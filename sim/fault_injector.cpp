#include "sim/fault_injector.h"

#include <algorithm>
#include <cstddef>
#include <span>

#include "protocol/boot_protocol.h"
#include "protocol/hwt_protocol.h"

namespace testbay::sim {
namespace {

constexpr size_t kEchoOffset = 2;
constexpr uint8_t kVdewFixedStart = 0x10;
constexpr uint8_t kVdewVariableStart = 0x68;
constexpr size_t kVdewFixedSize = 5;
constexpr size_t kVdewAddressOffset = 2;
constexpr size_t kVdewSumOffset = 3;
constexpr uint8_t kDamage = 0x5A;

// Bytes that would begin an answer the PC waits for.
constexpr uint8_t kHwtStarts[] = {kHwtStartByte};
constexpr uint8_t kBootStarts[] = {kAck, kBel, kNak, kEtb, kEsc};
constexpr uint8_t kVdewStarts[] = {kVdewFixedStart, kVdewVariableStart};

std::span<const uint8_t> AnswerStarts(LineProtocol protocol) {
    switch (protocol) {
    case LineProtocol::BootSystem: return kBootStarts;
    case LineProtocol::Application: return kVdewStarts;
    default: return kHwtStarts;
    }
}

bool IsVdewFixedFrame(const std::vector<uint8_t>& frame) {
    return frame.size() == kVdewFixedSize && frame[0] == kVdewFixedStart;
}

// Hardware test: the answer to another command, with a sum to match.
// Boot system: a NAK. Application: the answer of another link address.
void MisEcho(std::vector<uint8_t>& answer, LineProtocol protocol) {
    if (protocol == LineProtocol::BootSystem) {
        answer = {kNak};
    } else if (protocol == LineProtocol::Application) {
        if (!IsVdewFixedFrame(answer)) return;
        ++answer[kVdewAddressOffset];
        answer[kVdewSumOffset] = static_cast<uint8_t>(answer[1] + answer[kVdewAddressOffset]);
    } else if (answer.size() > kEchoOffset + 1) {
        ++answer[kEchoOffset];
        uint8_t sum = 0;
        for (size_t index = kEchoOffset; index + 1 < answer.size(); ++index) {
            sum = static_cast<uint8_t>(sum + answer[index]);
        }
        answer.back() = sum;
    }
}

// A check that fails: the sum byte of a hardware-test or VDEW answer, the
// CRC of a boot-system command answer. A lone ACK or ETB of the boot system
// has no check and becomes a NAK; its ESC texts have none to break.
void Corrupt(std::vector<uint8_t>& answer, LineProtocol protocol) {
    if (answer.empty()) return;
    if (protocol == LineProtocol::BootSystem) {
        if (answer.size() == kCommandAnswerSize && (answer[0] == kAck || answer[0] == kBel)) {
            answer.back() ^= kDamage;
        } else if (answer.size() == 1) {
            answer[0] = kNak;
        }
    } else if (protocol == LineProtocol::Application) {
        if (IsVdewFixedFrame(answer)) answer[kVdewSumOffset] ^= kDamage;
    } else {
        answer.back() ^= kDamage;
    }
}

}  // namespace

std::vector<uint8_t> FaultInjector::Noise(uint32_t count, LineProtocol protocol) {
    const std::span<const uint8_t> starts = AnswerStarts(protocol);
    std::vector<uint8_t> noise;
    noise.reserve(count);
    while (noise.size() < count) {
        noiseState_ = noiseState_ * 1103515245u + 12345u;
        const auto byte = static_cast<uint8_t>(noiseState_ >> 16);
        if (std::find(starts.begin(), starts.end(), byte) == starts.end()) noise.push_back(byte);
    }
    return noise;
}

std::vector<uint8_t> FaultInjector::Apply(std::vector<uint8_t> answer, LineProtocol protocol) {
    const uint64_t number = ++answers_;
    if (!Active()) return answer;
    const bool fallenSilent = config_.silentAfter != 0 && number > config_.silentAfter;
    if (config_.silent || fallenSilent || Hits(config_.dropEvery, number) || answer.empty()) return {};
    if (Hits(config_.wrongEchoEvery, number)) MisEcho(answer, protocol);
    if (Hits(config_.corruptEvery, number)) Corrupt(answer, protocol);
    if (config_.noiseBytes == 0) return answer;
    std::vector<uint8_t> bytes = Noise(config_.noiseBytes, protocol);
    bytes.insert(bytes.end(), answer.begin(), answer.end());
    return bytes;
}

}  // namespace testbay::sim
