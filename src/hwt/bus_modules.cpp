#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "comm/channel.h"
#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {

constexpr int kModuleTimeoutMs = 6000;
constexpr int kModuleTestTimeoutMs = 60000;
constexpr int kModuleInfoPauseMs = 200;
constexpr int32_t kHoldInReset = 1;
constexpr int32_t kReleaseReset = 0;
constexpr size_t kModuleBlockLength = 8;

// A module's memory index and the identity block at its start.
constexpr int32_t kModuleMemoryBase = 10;
constexpr uint32_t kIdentityLength = 44;
constexpr size_t kSerialNumberOffset = 1;
constexpr size_t kMacOffset = 33;
constexpr size_t kMacLength = 6;

// Bytes past the received block count as 0.
uint8_t BlockByte(const CHwtV4Client& client, size_t index) {
    return index < client.BlockLength() ? client.BlockData()[index] : 0;
}

int32_t BlockWordLittleEndian(const CHwtV4Client& client, size_t first) {
    uint32_t word = 0;
    for (size_t index = 0; index < 4; ++index) {
        word |= static_cast<uint32_t>(BlockByte(client, first + index)) << (8 * index);
    }
    return static_cast<int32_t>(word);
}

// A module whose memory index would not fit the 32-bit index has no memory to read.
bool ReadModuleIdentity(CHwtV4Client& client, int32_t module, std::vector<uint8_t>& identity) {
    if (module > std::numeric_limits<int32_t>::max() - kModuleMemoryBase) return false;
    return client.ReadMemory(module + kModuleMemoryBase, 0, kIdentityLength, identity) == 1 &&
           identity.size() >= kIdentityLength;
}

}  // namespace

int CHwtV4Client::GetBusInfo(int32_t board, int32_t& a, int32_t& b, int32_t& c, int32_t& d) {
    TraceLine("CHwtV4Client::GetBusInfo");
    ForgetBlock();
    const int result = telegramm(kBusInfoCommand, {Scalar(board)}, kQueryTimeoutMs);
    if (result != 1) return result;
    a = Field(0) >> 8 & 0xFF;
    b = Field(0) & 0xFF;
    c = BlockWordLittleEndian(*this, 0);
    d = BlockWordLittleEndian(*this, 4);
    return result;
}

int CHwtV4Client::GetBusBits(int32_t& a, int32_t& b) {
    TraceLine("CHwtV4Client::GetBusBits");
    const int result = telegramm(kBusBitsCommand, {}, kQueryTimeoutMs);
    a = result == 1 ? Field(0) : 0;
    b = result == 1 ? Field(1) : 0;
    return result;
}

int CHwtV4Client::GetBusStatistics(int32_t board, int32_t& events, int32_t& runtime) {
    TraceLine("CHwtV4Client::GetBusStatistics");
    const int result = telegramm(kBusStatisticsCommand, {Scalar(board)}, kQueryTimeoutMs);
    events = Field(0);
    runtime = Field(1);
    return result;
}

int CHwtV4Client::GetModuleInfo(int32_t module, int32_t& info) {
    TraceLine("CHwtV4Client::GetModuleInfo");
    const int result = telegramm(kModuleInfoCommand, {Scalar(module)}, kModuleTimeoutMs);
    if (result != 1) {
        info = 0;
        return result;
    }
    info = Field(0);
    // Gives the module time before the next command.
    ComWait(channel_, kModuleInfoPauseMs);
    return result;
}

int CHwtV4Client::GetModul(int32_t module, int32_t& a, int32_t& b, int32_t& c, int32_t& d, int32_t& e) {
    TraceLine("CHwtV4Client::GetModul");
    ForgetBlock();
    a = b = c = d = e = 0;
    const int result = telegramm(kModuleCommand, {Scalar(module)}, kModuleTimeoutMs);
    if (result != 1 || BlockLength() < kModuleBlockLength) return result;
    a = BlockByte(*this, 0);
    b = BlockByte(*this, 1);
    c = BlockByte(*this, 2);
    d = BlockWordLittleEndian(*this, 0);
    e = BlockWordLittleEndian(*this, 4);
    return result;
}

int CHwtV4Client::ModuleReset(int32_t module) {
    TraceLine("CHwtV4Client::ModuleReset");
    telegramm(kModuleResetCommand, {Scalar(module), Scalar(kHoldInReset)}, kQueryTimeoutMs);
    return telegramm(kModuleResetCommand, {Scalar(module), Scalar(kReleaseReset)}, kQueryTimeoutMs);
}

int CHwtV4Client::TestCommunicationModule(int32_t module, int32_t b, int32_t& result) {
    TraceLine("CHwtV4Client::TestCommunicationModule");
    const int answer = telegramm(kModuleTestCommand, {Scalar(module), Scalar(b)}, kModuleTestTimeoutMs);
    result = answer == 1 ? Field(0) : 0;
    return answer;
}

int CHwtV4Client::Nk300GetSerialNumber(int32_t module, std::string& text, size_t size) {
    TraceLine("CHwtV4Client::Nk300GetSerialNumber");
    text.clear();
    std::vector<uint8_t> identity;
    if (!ReadModuleIdentity(*this, module, identity)) return 0;
    const auto first = identity.begin() + kSerialNumberOffset;
    const auto end = std::find(first, identity.begin() + kIdentityLength, uint8_t{0});
    text.assign(first, first + static_cast<long>(std::min(size, static_cast<size_t>(end - first))));
    return 1;
}

int CHwtV4Client::Nk300GetMacAdr(int32_t module, std::string& text) {
    TraceLine("CHwtV4Client::Nk300GetMacAdr");
    text.clear();
    std::vector<uint8_t> identity;
    if (!ReadModuleIdentity(*this, module, identity)) return 0;
    for (size_t index = kMacOffset; index < kMacOffset + kMacLength; ++index) {
        char digits[3];
        std::snprintf(digits, sizeof(digits), "%02X", static_cast<unsigned>(identity[index]));
        text += digits;
    }
    return 1;
}

}  // namespace testbay
