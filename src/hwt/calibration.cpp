#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {

constexpr int kCalibrationTimeoutMs = 600;
constexpr int kStoreTimeoutMs = 7200;
constexpr int32_t kAdjustAllOffsets = 2;
constexpr int32_t kAutoOffsetOn = 3;
constexpr int32_t kAutoOffsetOff = 0;
constexpr int32_t kFirstBoard = 1;
constexpr int32_t kLastBoard = 7;

// Calibration values travel as value x scale, rounded half up: the floor of
// the product plus one half, so that -12.5 becomes -12 and -1.0 x 1000 stays
// -1000 (cutting toward zero would make that -999).
int32_t ScaledCalibrationValue(double value, int32_t scale) {
    const double scaled = std::floor(value * scale + 0.5);
    if (std::isnan(scaled)) return 0;
    constexpr double kLowest = std::numeric_limits<int32_t>::min();
    constexpr double kHighest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(scaled, kLowest, kHighest));
}

// The relay keeps a calibration value under (a, b, c); a missing b means
// the value sits directly under c.
void ShiftCalibrationKey(int32_t& b, int32_t& c) {
    if (b != 0) return;
    b = c;
    c = 0;
}

// A board's serial number as the bus reports it: the low byte of c and all
// of d, one digit per nibble.
std::string BoardIdentity(int32_t c, int32_t d) {
    std::string text;
    const auto appendNibble = [&text](uint32_t nibble) { text += static_cast<char>('0' + (nibble > 9 ? 1 : nibble)); };
    const uint32_t low = static_cast<uint32_t>(c) & 0xFFu;
    appendNibble(low >> 4);
    appendNibble(low & 0xFu);
    for (int shift = 28; shift >= 0; shift -= 4) appendNibble(static_cast<uint32_t>(d) >> shift & 0xFu);
    return text;
}

struct BoardReference {
    std::string identity;
    std::string text;
    int32_t value = 0;
};

BoardReference ReadBoardReference(CHwtV4Client& client, int32_t board) {
    BoardReference reference;
    int32_t a = 0;
    int32_t b = 0;
    int32_t c = 0;
    int32_t d = 0;
    if (client.GetBusInfo(board, a, b, c, d) == 1) reference.identity = BoardIdentity(c, d);
    int32_t parameter = 0;
    if (client.GetCalPara(board, parameter, reference.text, reference.value) != 1) {
        reference.text.clear();
        reference.value = 0;
    }
    return reference;
}

}  // namespace

int CHwtV4Client::SetCalibrationValue(int32_t a, int32_t b, int32_t c, double x, double y) {
    TraceLine("CHwtV4Client::SetCalibrationValue");
    ShiftCalibrationKey(b, c);
    if (telegramm(kGetCalibrationCommand, {}, kCalibrationTimeoutMs) != 1) return 0;
    const int32_t scale = Field(0);
    return telegramm(kSetCalibrationCommand,
                     {Scalar(a), Scalar(b), Scalar(c), Scalar(ScaledCalibrationValue(x, scale)),
                      Scalar(ScaledCalibrationValue(y, scale))},
                     kCalibrationTimeoutMs);
}

int CHwtV4Client::GetCalibrationValue(int32_t a, int32_t b, int32_t c, double& x, double& y) {
    TraceLine("CHwtV4Client::GetCalibrationValue");
    ShiftCalibrationKey(b, c);
    if (telegramm(kGetCalibrationCommand, {}, kQueryTimeoutMs) != 1) return 0;
    const double scale = Field(0);
    const int result = telegramm(kGetCalibrationCommand, {Scalar(a), Scalar(b), Scalar(c)}, kQueryTimeoutMs);
    x = Field(0) / scale;
    y = Field(1) / scale;
    return result;
}

int CHwtV4Client::StoreCalibrationValues() {
    TraceLine("CHwtV4Client::StoreCalibrationValues");
    return telegramm(kStoreCalibrationCommand, {}, kStoreTimeoutMs);
}

int CHwtV4Client::SetCalDefaults() {
    TraceLine("CHwtV4Client::SetCalDefaults");
    return telegramm(kCalDefaultsCommand, {}, kCalibrationTimeoutMs);
}

int CHwtV4Client::SetCalSid(int32_t a, int32_t b) {
    TraceLine("CHwtV4Client::SetCalSid");
    return telegramm(kCalParameterCommand, {Scalar(a), Scalar(b)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetCalRef(int32_t board, const std::string& text, int32_t value) {
    TraceLine("CHwtV4Client::SetCalRef");
    return telegramm(kCalParameterCommand, {Scalar(board), Block(text.data(), text.size()), Scalar(value)},
                     kQueryTimeoutMs);
}

int CHwtV4Client::GetCalPara(int32_t board, int32_t& a, std::string& text, int32_t& value) {
    TraceLine("CHwtV4Client::GetCalPara");
    const int result = telegramm(kCalParameterCommand, {Scalar(board)}, kQueryTimeoutMs);
    if (result == 1) {
        a = Field(0);
        text = FieldText(1);
        value = Field(2);
    } else {
        a = 0;
        text = "?";
        value = 0;
    }
    return result;
}

int CHwtV4Client::FindCalibrationChannel(int32_t& packed, int32_t& channel) {
    TraceLine("CHwtV4Client::FindCalibrationChannel");
    std::array<BoardReference, kLastBoard + 1> boards;
    for (int32_t board = kFirstBoard; board <= kLastBoard; ++board) {
        boards[static_cast<size_t>(board)] = ReadBoardReference(*this, board);
    }
    int32_t count = 0;
    if (GetChannelcount(count) != 1) return 0;

    std::string wantedText;
    int32_t wantedValue = 0;
    int result = 0;
    // A relay that stops answering is not asked about every channel of the count it sent.
    for (int32_t number = 1; number <= count && PcTimeoutRun() < kPcTimeoutRunLimit; ++number) {
        int32_t type = 0;
        int32_t b = 0;
        int32_t c = 0;
        int32_t value = 0;
        int32_t board = 0;
        if (GetChannelInfo(number, type, b, c, &value, &board) != 1) continue;
        if (board < kFirstBoard || board > kLastBoard) continue;
        const BoardReference& reference = boards[static_cast<size_t>(board)];
        if (!reference.text.empty()) {
            if (wantedText.empty()) {
                wantedText = reference.text;
                wantedValue = reference.value;
            } else if (reference.text != wantedText) {
                // Boards that name different references: none can be trusted.
                return 0;
            }
        }
        // Until some board names a reference there is nothing to match.
        if (wantedText.empty() || wantedText != reference.identity || value != wantedValue) continue;
        packed = static_cast<int32_t>(static_cast<uint32_t>(board) << 16 | static_cast<uint32_t>(value));
        channel = number;
        result = 1;
    }
    return result;
}

int CHwtV4Client::GetOffset(int32_t channel, int32_t& offset) {
    TraceLine("CHwtV4Client::GetOffset");
    const int result = telegramm(kGetOffsetCommand, {Scalar(channel)}, kQueryTimeoutMs);
    offset = result == 1 ? Field(0) : 0;
    return result;
}

int CHwtV4Client::SetOffset(int32_t channel, int32_t offset) {
    TraceLine("CHwtV4Client::SetOffset");
    return telegramm(kSetOffsetCommand, {Scalar(channel), Scalar(offset)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetOffset() {
    TraceLine("CHwtV4Client::SetOffset");
    return telegramm(kOffsetModeCommand, {Scalar(kAdjustAllOffsets)}, kQueryTimeoutMs);
}

int CHwtV4Client::SetAutoOffsetMode(int32_t on) {
    TraceLine("CHwtV4Client::SetAutoOffsetMode");
    return telegramm(kOffsetModeCommand, {Scalar(on != 0 ? kAutoOffsetOn : kAutoOffsetOff)}, kQueryTimeoutMs);
}

int CHwtV4Client::CalculateOffset(int32_t channel, int32_t& offset) {
    TraceLine("CHwtV4Client::CalculateOffset");
    const int result = telegramm(kCalculateOffsetCommand, {Scalar(channel)}, kQueryTimeoutMs);
    offset = result == 1 ? Field(0) : 0;
    return result;
}

int CHwtV4Client::GetAnalogOutputProperties(int32_t output, int32_t& a, int32_t& b, int32_t& c) {
    TraceLine("CHwtV4Client::GetAnalogOutputProperties");
    const int result = telegramm(kAnalogOutputCommand, {Scalar(output)}, kQueryTimeoutMs);
    a = result == 1 ? Field(0) : 0;
    b = result == 1 ? Field(1) : 0;
    c = result == 1 ? Field(2) : 0;
    return result;
}

int CHwtV4Client::GetAnalogOutput(int32_t output, int32_t b, int32_t& value) {
    TraceLine("CHwtV4Client::GetAnalogOutput");
    const int result = telegramm(kAnalogOutputCommand, {Scalar(output), Scalar(b)}, kQueryTimeoutMs);
    value = result == 1 ? Field(0) : 0;
    return result;
}

int CHwtV4Client::SetAnalogOutput(int32_t output, int32_t b, int32_t value) {
    TraceLine("CHwtV4Client::SetAnalogOutput");
    return telegramm(kAnalogOutputCommand, {Scalar(output), Scalar(b), Scalar(value)}, kQueryTimeoutMs);
}

}  // namespace testbay
