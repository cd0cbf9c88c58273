#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {

constexpr int kBatteryTimeoutMs = 2000;
constexpr int kAverageSamples = 10;
// The range count takes the low 16 bits of the mask; the search for the n-th
// range walks all 32.
constexpr uint32_t kCountedRangeBits = 0xFFFFu;
constexpr double kThousandths = 1000.0;
// Phase readings lie within +-360 degrees; these bounds lose to any of them.
constexpr double kPhaseSearchLimit = 400.0;

const char* SupplyName(int32_t identifier) {
    switch (identifier) {
    case 1: return "+5V";
    case 2: return "-5V";
    case 3: return "GND";
    case 4: return "PowerFail";
    default: return "???";
    }
}

// Frequencies travel as frequency x scale, cut toward zero.
int32_t ScaledFrequency(double frequency, int32_t scale) {
    const double scaled = frequency * scale;
    if (std::isnan(scaled)) return 0;
    constexpr double kLowest = std::numeric_limits<int32_t>::min();
    constexpr double kHighest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(scaled, kLowest, kHighest));
}

int32_t NominalFrequencyCode(double frequency) {
    if (frequency >= 45.0 && frequency < 55.0) return 50;
    if (frequency >= 55.0 && frequency < 65.0) return 60;
    if (frequency >= 20.0 && frequency < 30.0) return 25;
    if (frequency >= 11.0 && frequency < 20.0) return 16;
    return 0;
}

struct ChannelLetter {
    char letter;
    int32_t base;
};

// The letter of a channel's name and the value its number counts from.
ChannelLetter LetterOfType(int32_t type) {
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 7:
    case 9:
    case 11:
    case 12:
    case 14: return {'I', 30};
    case 4:
    case 8: return {'U', 20};
    case 5:
    case 10:
    case 13: return {'M', 80};
    default: return {'?', 0};
    }
}

// Rounds a scaled reading: (value x multiplier + divisor / 2) / divisor,
// wide enough that the product cannot overflow.
int32_t ScaleReading(int32_t value, int32_t multiplier, int32_t divisor) {
    const int64_t product = static_cast<int64_t>(value) * multiplier;
    return static_cast<int32_t>((product + divisor / 2) / divisor);
}

// Index of the first largest and the first smallest reading, each only if
// it beats the search start.
std::pair<int, int> ExtremeIndices(const std::vector<double>& readings) {
    int largest = -1;
    int smallest = -1;
    double high = -kPhaseSearchLimit;
    double low = kPhaseSearchLimit;
    for (size_t index = 0; index < readings.size(); ++index) {
        if (readings[index] > high) {
            high = readings[index];
            largest = static_cast<int>(index);
        }
        if (readings[index] < low) {
            low = readings[index];
            smallest = static_cast<int>(index);
        }
    }
    return {largest, smallest};
}

}  // namespace

int CHwtV4Client::GetSupplyCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetSupplyCount");
    const int result = telegramm(kSupplyCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetSupplyValue(int32_t supply, std::string& name, int32_t& low, int32_t& high, int32_t& value) {
    TraceLine("CHwtV4Client::GetSupplyValue");
    const int result = telegramm(kSupplyCommand, {Scalar(supply)}, kQueryTimeoutMs);
    name = SupplyName(Field(0));
    value = Field(1);
    low = Field(2);
    high = Field(3);
    return result;
}

int CHwtV4Client::TestSupplies(int32_t& ok) {
    TraceLine("CHwtV4Client::TestSupplies");
    ok = 1;
    int32_t count = 0;
    if (GetSupplyCount(count) != 1) return 0;
    for (int32_t supply = 1; supply <= count; ++supply) {
        std::string name;
        int32_t low = 0;
        int32_t high = 0;
        int32_t value = 0;
        if (GetSupplyValue(supply, name, low, high, value) != 1) return 0;
        if (value < low || value > high) ok = 0;
    }
    return 1;
}

int CHwtV4Client::TestBattery(int32_t& ok) {
    TraceLine("CHwtV4Client::TestBattery");
    const int result = telegramm(kBatteryCommand, {}, kBatteryTimeoutMs);
    ok = DeviceStatus() == kHwtPass ? 1 : 0;
    return result;
}

int CHwtV4Client::PowerFail(int32_t& value) {
    TraceLine("CHwtV4Client::PowerFail");
    const int result = telegramm(kPowerFailCommand, {}, kQueryTimeoutMs);
    value = Field(0);
    return result;
}

int CHwtV4Client::GetChannelcount(int32_t& count) {
    TraceLine("CHwtV4Client::GetChannelcount");
    const int result = telegramm(kChannelValueCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetChannelValue(int32_t channel, int32_t& a, int32_t& b) {
    TraceLine("CHwtV4Client::GetChannelValue");
    const int result = telegramm(kChannelValueCommand, {Scalar(channel)}, kQueryTimeoutMs);
    a = Field(0);
    b = Field(1);
    return result;
}

int CHwtV4Client::GetAverageChannelValue(int32_t channel, int32_t& a, int32_t& b) {
    TraceLine("CHwtV4Client::GetAverageChannelValue");
    int result = 1;
    int64_t sum = 0;
    for (int sample = 0; sample < kAverageSamples; ++sample) {
        if (GetChannelValue(channel, a, b) != 1) {
            result = 0;
            break;
        }
        sum += b;
    }
    // Always over ten, even when fewer samples came in.
    b = static_cast<int32_t>((sum + kAverageSamples / 2) / kAverageSamples);
    return result;
}

int CHwtV4Client::GetCurrent(int32_t channel, double& value) {
    TraceLine("CHwtV4Client::GetCurrent");
    const int result = telegramm(kChannelValueCommand, {Scalar(channel)}, kQueryTimeoutMs);
    // Older firmware answers the current alone.
    value = (FieldCount() >= 2 ? Field(1) : Field(0)) / kThousandths;
    return result;
}

int CHwtV4Client::GetVoltage(int32_t channel, double& value) {
    TraceLine("CHwtV4Client::GetVoltage");
    const int result = telegramm(kChannelValueCommand, {Scalar(channel)}, kQueryTimeoutMs);
    value = Field(0) / kThousandths;
    return result;
}

int CHwtV4Client::GetChannelInfo(int32_t channel, int32_t& type, int32_t& b, int32_t& c, int32_t* value,
                                 int32_t* board) {
    TraceLine("CHwtV4Client::GetChannelInfo");
    int32_t count = 0;
    if (GetChannelcount(count) != 1) return 0;
    char line[32];
    std::snprintf(line, sizeof(line), "channel=%i", static_cast<int>(channel));
    TraceLine(line);
    // For a measuring channel the relay puts the channel value first.
    size_t first = 0;
    if (channel <= count) {
        int32_t channelValue = 0;
        int32_t measured = 0;
        GetChannelValue(channel, channelValue, measured);
        if (value) *value = channelValue;
        first = 1;
    }
    const int result = telegramm(kChannelInfoCommand, {Scalar(channel)}, kQueryTimeoutMs);
    type = Field(first);
    b = Field(first + 1);
    c = Field(first + 2);
    if (board) *board = FieldCount() > first + 3 ? Field(first + 3) : 0xFF;
    return result;
}

std::string ChannelNameText(int32_t type, int32_t board, int32_t value) {
    const ChannelLetter letter = LetterOfType(type);
    return std::to_string(board) + ':' + letter.letter + std::to_string(static_cast<int64_t>(value) - letter.base);
}

int CHwtV4Client::GetChannelName(int32_t channel, std::string& text) {
    TraceLine("CHwtV4Client::GetChannelName");
    int32_t type = 0;
    int32_t b = 0;
    int32_t c = 0;
    int32_t value = 0;
    int32_t board = 0;
    if (GetChannelInfo(channel, type, b, c, &value, &board) != 1) return 0;
    text = ChannelNameText(type, board, value);
    return 1;
}

int CHwtV4Client::Freeze() {
    TraceLine("CHwtV4Client::Freeze");
    return telegramm(kFreezeCommand, {}, kQueryTimeoutMs);
}

int CHwtV4Client::Adc(int32_t a, int32_t b, int32_t c, int32_t& value) {
    TraceLine("CHwtV4Client::Adc");
    const int result = telegramm(kAdcCommand, {Scalar(a), Scalar(b), Scalar(c)}, kQueryTimeoutMs);
    value = Field(0);
    return result;
}

int CHwtV4Client::SetAduMode(int32_t mode) {
    TraceLine("CHwtV4Client::SetAduMode");
    return telegramm(kAduModeCommand, {Scalar(mode)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetAduMode(int32_t mode, double frequency) {
    TraceLine("CHwtV4Client::SetAduMode");
    if (telegramm(kFrequencyCommand, {}, kQueryTimeoutMs) != 1) return 0;
    const int32_t scale = Field(0);
    return telegramm(kAduModeCommand, {Scalar(mode), Scalar(ScaledFrequency(frequency, scale))}, kQueryTimeoutMs);
}

int CHwtV4Client::GetChannelAmplifyCount(int32_t channel, int32_t& count) {
    TraceLine("CHwtV4Client::GetChannelAmplifyCount");
    const int result = telegramm(kAmplifyMaskCommand, {Scalar(channel)}, kQueryTimeoutMs);
    count = std::popcount(static_cast<uint32_t>(Field(0)) & kCountedRangeBits);
    return result;
}

int CHwtV4Client::GetCurrentAmplify(int32_t channel, int32_t n, int32_t& range) {
    TraceLine("CHwtV4Client::GetCurrentAmplify");
    const int result = telegramm(kAmplifyMaskCommand, {Scalar(channel)}, kQueryTimeoutMs);
    const auto mask = static_cast<uint32_t>(Field(0));
    range = 0;
    int32_t seen = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if ((mask >> bit & 1u) != 0 && ++seen == n) {
            range = static_cast<int32_t>(1u << bit);
            break;
        }
    }
    return result;
}

int CHwtV4Client::SetCurrentAmplify(int32_t channel, int32_t range) {
    TraceLine("CHwtV4Client::SetCurrentAmplify");
    return telegramm(kAmplifyCommand, {Scalar(channel), Scalar(range)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetFrequency(double frequency) {
    TraceLine("CHwtV4Client::SetFrequency");
    if (telegramm(kFrequencyCommand, {}, kQueryTimeoutMs) != 1) return 0;
    const int32_t scale = Field(0);
    return telegramm(kFrequencyCommand,
                     {Scalar(NominalFrequencyCode(frequency)), Scalar(ScaledFrequency(frequency, scale))},
                     kQueryTimeoutMs);
}

int CHwtV4Client::GetTransducerCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetTransducerCount");
    const int result = telegramm(kTransducerCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetTransducerValue(int32_t transducer, int32_t& a, int32_t& b) {
    TraceLine("CHwtV4Client::GetTransducerValue");
    const int result = telegramm(kTransducerCommand, {Scalar(transducer)}, kQueryTimeoutMs);
    a = Field(0);
    b = Field(1);
    return result;
}

int CHwtV4Client::GetMinmaxValuesPP(int32_t channel, int32_t b, int32_t& min, int32_t& max) {
    TraceLine("CHwtV4Client::GetMinmaxValuesPP");
    const int result = telegramm(kMinmaxCommand, {Scalar(channel), Scalar(b)}, kQueryTimeoutMs);
    min = result == 1 ? Field(0) : 0;
    max = result == 1 ? Field(1) : 0;
    return result;
}

int CHwtV4Client::GetMinmaxValues(int32_t channel, int32_t b, int32_t& min, int32_t& max) {
    TraceLine("CHwtV4Client::GetMinmaxValues");
    min = 0;
    max = 0;
    int32_t divisor = 0;
    int32_t multiplier = 0;
    if (telegramm(kChannelInfoCommand, {Scalar(channel)}, kQueryTimeoutMs) == 1) {
        divisor = Field(2);
        multiplier = Field(3);
    }
    const int result = telegramm(kMinmaxCommand, {Scalar(channel), Scalar(b)}, kQueryTimeoutMs);
    if (divisor == 0 || result != 1) return 0;
    min = ScaleReading(Field(0), multiplier, divisor);
    max = ScaleReading(Field(1), multiplier, divisor);
    return 1;
}

int CHwtV4Client::ResetMinmaxValues() {
    TraceLine("CHwtV4Client::ResetMinmaxValues");
    return telegramm(kMinmaxCommand, {}, kQueryTimeoutMs);
}

int CHwtV4Client::GetPhaseDifference(int32_t channel1, int32_t channel2, double& degrees) {
    TraceLine("CHwtV4Client::GetPhaseDifference");
    const int result = telegramm(kPhaseCommand, {Scalar(channel1), Scalar(channel2)}, kQueryTimeoutMs);
    degrees = Field(0) / kThousandths;
    return result;
}

int CHwtV4Client::GetAveragePhaseDifference(int32_t channel1, int32_t channel2, double& degrees) {
    TraceLine("CHwtV4Client::GetAveragePhaseDifference");
    int result = 1;
    std::vector<double> readings;
    for (int sample = 0; sample < kAverageSamples; ++sample) {
        double reading = 0.0;
        if (GetPhaseDifference(channel1, channel2, reading) != 1) {
            result = 0;
            break;
        }
        readings.push_back(reading);
    }
    const auto [largest, smallest] = ExtremeIndices(readings);
    double sum = 0.0;
    int kept = 0;
    for (size_t index = 0; index < readings.size(); ++index) {
        const auto position = static_cast<int>(index);
        if (position == largest || position == smallest) continue;
        sum += readings[index];
        ++kept;
    }
    // Too few readings leave nothing to average.
    degrees = kept > 0 ? sum / kept : 0.0;
    return result;
}

int CHwtV4Client::GetAmpl(int32_t channel, double frequency, int32_t& value) {
    TraceLine("CHwtV4Client::GetAmpl");
    if (telegramm(kFrequencyCommand, {}, kQueryTimeoutMs) != 1) return 0;
    const int32_t scale = Field(0);
    const int result =
        telegramm(kAmplitudeCommand, {Scalar(channel), Scalar(ScaledFrequency(frequency, scale))}, kQueryTimeoutMs);
    value = Field(0);
    return result;
}

}  // namespace testbay
