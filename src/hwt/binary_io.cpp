#include <algorithm>
#include <array>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
constexpr int32_t kRelayInfoRequest = 2;
constexpr int32_t kRelayUnavailable = 2;
constexpr uint32_t kInputInfoFields = 3;
constexpr int32_t kBitsPerWord = 32;

int32_t OnOff(int32_t on) { return on == 1 ? 1 : 0; }

// Sets bit i mod 32 of word i / 32 for every input i + 1 that answers; 0 when
// the count cannot be read. Inputs beyond the words given are not asked.
int MarkAnsweringInputs(CHwtV4Client& client, std::span<uint32_t> bits) {
    int32_t count = 0;
    if (client.GetBinaryInputCount(count) != 1) return 0;
    const int64_t inputs = std::min<int64_t>(count, static_cast<int64_t>(bits.size()) * kBitsPerWord);
    for (int32_t index = 0; index < inputs; ++index) {
        int32_t on = 0;
        if (client.GetBinaryInput(index + 1, on) == 1) bits[index / kBitsPerWord] |= 1u << (index % kBitsPerWord);
    }
    return 1;
}

}  // namespace

int CHwtV4Client::GetRelayCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetRelayCount");
    const int result = telegramm(kRelayCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetRelay(int32_t relay, int32_t& on) {
    TraceLine("CHwtV4Client::GetRelay");
    const int result = telegramm(kRelayCommand, {Scalar(relay)}, kQueryTimeoutMs);
    switch (Field(0)) {
    case 0: on = 0; break;
    case 1: on = 1; break;
    case kRelayUnavailable: return 0;
    default: break;
    }
    return result;
}

int CHwtV4Client::GetRelayInfo(int32_t relay, int32_t& a, int32_t& b) {
    TraceLine("CHwtV4Client::GetRelayInfo");
    const int result = telegramm(kRelayCommand, {Scalar(relay), Scalar(kRelayInfoRequest)}, kQueryTimeoutMs);
    a = result == 1 ? Field(0) : 0;
    b = result == 1 ? Field(1) : 0;
    return result;
}

int CHwtV4Client::SetRelay(int32_t relay, int32_t on) {
    TraceLine("CHwtV4Client::SetRelay");
    return telegramm(kRelayCommand, {Scalar(relay), Scalar(OnOff(on))}, kQueryTimeoutMs);
}

int CHwtV4Client::SetRelayMask(int32_t mask0, int32_t mask1) {
    TraceLine("CHwtV4Client::SetRelayMask");
    return telegramm(kRelayMaskCommand, {Scalar(mask0), Scalar(mask1)}, kQueryTimeoutMs);
}

int CHwtV4Client::GetRelaySpeed(int32_t& /*a*/, int32_t& /*b*/, int32_t& /*c*/) {
    TraceLine("CHwtV4Client::GetRelaySpeed");
    return 0;
}

int CHwtV4Client::GetBinaryInputCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetBinaryInputCount");
    const int result = telegramm(kBinaryInputCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetBinaryInput(int32_t input, int32_t& on) {
    TraceLine("CHwtV4Client::GetBinaryInput");
    const int result = telegramm(kBinaryInputCommand, {Scalar(input)}, kQueryTimeoutMs);
    if (Field(0) == 0 || Field(0) == 1) {
        on = Field(0);
        return result;
    }
    on = 0;
    return 0;
}

int CHwtV4Client::GetBinaryInputInfo(int32_t input, int32_t& a, int32_t& b) {
    TraceLine("CHwtV4Client::GetBinaryInputInfo");
    // The relay counts the inputs one further here.
    const auto infoNumber = static_cast<int32_t>(static_cast<uint32_t>(input) + 1u);
    const int result = telegramm(kBinaryInputCommand, {Scalar(infoNumber), Scalar(0)}, kQueryTimeoutMs);
    if (result != 1 || FieldCount() != kInputInfoFields) return 0;
    a = Field(1);
    b = Field(2);
    return 1;
}

int CHwtV4Client::GetBinaryInputMask(int32_t& mask0, int32_t& mask1) {
    TraceLine("CHwtV4Client::GetBinaryInputMask");
    const int result = telegramm(kBinaryInputMaskCommand, {}, kQueryTimeoutMs);
    mask0 = Field(0);
    mask1 = Field(1);
    return result;
}

int CHwtV4Client::GetBinaryInputMask() {
    TraceLine("CHwtV4Client::GetBinaryInputMask");
    return telegramm(kBinaryInputMaskCommand, {Scalar(1)}, kQueryTimeoutMs);
}

int CHwtV4Client::GetBinaryInputMaskArray(std::span<int32_t> first, std::span<int32_t> second, int32_t count) {
    TraceLine("CHwtV4Client::GetBinaryInputMaskArray");
    const size_t wanted = count > 0 ? static_cast<size_t>(count) : 0;
    const size_t firstWords = std::min({wanted, first.size(), kFieldSlots});
    const size_t secondWords = std::min({wanted, second.size(), kFieldSlots});
    const int result = telegramm(kBinaryInputMaskCommand, {}, kQueryTimeoutMs);
    bool secondRead = false;
    if (result == 1) {
        for (size_t index = 0; index < firstWords; ++index) first[index] = Field(index);
        secondRead = telegramm(kBinaryInputMaskCommand, {Scalar(0)}, kQueryTimeoutMs) == 1;
        if (secondRead) {
            for (size_t index = 0; index < secondWords; ++index) second[index] = Field(index);
        }
    }
    if (!secondRead) std::fill_n(second.begin(), std::min(wanted, second.size()), 0);
    return result;
}

int CHwtV4Client::GetBinaryInputMaskAvailable(int32_t& mask0, int32_t& mask1, int32_t& mask2) {
    TraceLine("CHwtV4Client::GetBinaryInputMaskAvailable");
    std::array<uint32_t, 3> masks{};
    const int result = MarkAnsweringInputs(*this, masks);
    mask0 = static_cast<int32_t>(masks[0]);
    mask1 = static_cast<int32_t>(masks[1]);
    mask2 = static_cast<int32_t>(masks[2]);
    return result;
}

int CHwtV4Client::GetBinaryInputMaskAvailable(std::span<uint32_t> bits) {
    TraceLine("CHwtV4Client::GetBinaryInputMaskAvailable");
    return MarkAnsweringInputs(*this, bits);
}

}  // namespace testbay
