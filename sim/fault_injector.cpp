#include "sim/fault_injector.h"

#include <cstddef>

namespace testbay::sim {
namespace {

constexpr uint8_t kStartByte = 0x68;
constexpr size_t kEchoOffset = 2;

// Puts a good sum byte back after the echo was changed.
void ResumFrame(std::vector<uint8_t>& frame) {
    uint8_t sum = 0;
    for (size_t index = 2; index + 1 < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
    frame.back() = sum;
}

}  // namespace

std::vector<uint8_t> FaultInjector::Noise(uint32_t count) {
    std::vector<uint8_t> noise;
    noise.reserve(count);
    while (noise.size() < count) {
        noiseState_ = noiseState_ * 1103515245u + 12345u;
        const auto byte = static_cast<uint8_t>(noiseState_ >> 16);
        if (byte != kStartByte) noise.push_back(byte);
    }
    return noise;
}

std::vector<uint8_t> FaultInjector::Apply(std::vector<uint8_t> answer) {
    const uint64_t number = ++answers_;
    if (!Active()) return answer;
    const bool fallenSilent = config_.silentAfter != 0 && number > config_.silentAfter;
    if (config_.silent || fallenSilent || Hits(config_.dropEvery, number) || answer.empty()) return {};
    if (Hits(config_.wrongEchoEvery, number) && answer.size() > kEchoOffset + 1) {
        answer[kEchoOffset] = static_cast<uint8_t>(answer[kEchoOffset] + 1);
        ResumFrame(answer);
    }
    if (Hits(config_.corruptEvery, number)) answer.back() = static_cast<uint8_t>(answer.back() ^ 0x5A);
    if (config_.noiseBytes == 0) return answer;
    std::vector<uint8_t> bytes = Noise(config_.noiseBytes);
    bytes.insert(bytes.end(), answer.begin(), answer.end());
    return bytes;
}

}  // namespace testbay::sim
