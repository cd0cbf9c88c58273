#include <algorithm>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
constexpr int kReadTimeoutMs = 1800;
constexpr int kWriteTimeoutMs = 2400;
constexpr int kXorTimeoutMs = 1200;
constexpr int kLongWorkTimeoutMs = 30000;
constexpr int kSendOnly = 0;
constexpr int32_t kDualPortMemory = 0;
constexpr uint32_t kFlagAttribute = 0x1;

// Flash erases by 64 KiB; the relay needs time per started block on top of a
// fixed set-up time.
int EraseTimeoutMs(uint32_t length) {
    constexpr int32_t kEraseBlock = 65536;
    constexpr int kPerBlockMs = 1500;
    constexpr int kSetupMs = 5000;
    const int32_t blocks = static_cast<int32_t>(length) / kEraseBlock;
    return (blocks + 1) * kPerBlockMs + kSetupMs;
}

}  // namespace

int CHwtV4Client::GetMemoryCount(int32_t& count) {
    TraceLine("CHwtV4Client::GetMemoryCount");
    const int result = telegramm(kMemoryCountCommand, {}, kQueryTimeoutMs);
    count = Field(0);
    return result;
}

int CHwtV4Client::GetMemoryInfo(int32_t index, int32_t& a, int32_t& b, int32_t& c, int32_t& attributes, int32_t& flag1,
                                int32_t& flag2) {
    TraceLine("CHwtV4Client::GetMemoryInfo");
    const int result = telegramm(kMemoryInfoCommand, {Scalar(index)}, kQueryTimeoutMs);
    a = Field(0);
    b = Field(1);
    c = Field(2);
    attributes = Field(3);
    flag1 = (static_cast<uint32_t>(attributes) & kFlagAttribute) != 0 ? 1 : 0;
    flag2 = flag1;
    return result;
}

int CHwtV4Client::ReadMemory(int32_t index, uint32_t address, uint32_t length, std::vector<uint8_t>& buffer) {
    TraceLine("CHwtV4Client::ReadMemory");
    // One answer carries no more; a longer read is refused before anything is
    // sent or allocated.
    if (length > kHwtMaxAnswerBlock) {
        buffer.clear();
        return 0;
    }
    // Bytes the answer did not carry read as 0.
    ForgetBlock();
    const int result = telegramm(kReadCommand, {Scalar(index), Scalar(address), Scalar(length)}, kReadTimeoutMs);
    buffer.assign(length, 0);
    std::copy_n(BlockData(), std::min<size_t>(length, BlockLength()), buffer.begin());
    return result;
}

int CHwtV4Client::ReadMemoryAligned16(int32_t index, uint32_t address, uint32_t length, std::vector<uint8_t>& buffer) {
    TraceLine("CHwtV4Client::ReadMemoryAligned16");
    if (address % 2 == 0) return ReadMemory(index, address, length, buffer);
    if (length >= kHwtMaxAnswerBlock) {
        buffer.clear();
        return 0;
    }
    // The relay reads from even addresses only: one byte more from the one before.
    std::vector<uint8_t> aligned;
    const int result = ReadMemory(index, address - 1, length + 1, aligned);
    buffer.assign(length, 0);
    if (!aligned.empty())
        std::copy_n(aligned.begin() + 1, std::min<size_t>(length, aligned.size() - 1), buffer.begin());
    return result;
}

int CHwtV4Client::WriteMemory(int32_t index, uint32_t address, std::span<const uint8_t> data) {
    TraceLine("CHwtV4Client::WriteMemory");
    const HwtField fields[] = {Scalar(index), Scalar(address), Block(data.data(), data.size())};
    int result = telegramm(kWriteCommand, fields, kWriteTimeoutMs);
    // DONE: the flash did not take the data completely; it gets one more try.
    if (DeviceStatus() == kHwtDone) {
        TraceLine("Repeat Flash-Write");
        LogPrintf("CHwtV4Client::WriteMemory Versuch # %i", 1);
        result = telegramm(kWriteCommand, fields, kWriteTimeoutMs);
    }
    return result == 1 && DeviceStatus() != kHwtFail ? 1 : 0;
}

int CHwtV4Client::TestMemory(int32_t index, uint32_t address, uint32_t length, int32_t& ok) {
    TraceLine("CHwtV4Client::TestMemory");
    const int result = telegramm(kTestCommand, {Scalar(index), Scalar(address), Scalar(length)}, kLongWorkTimeoutMs);
    ok = DeviceStatus() == kHwtPass ? 1 : 0;
    return result;
}

int CHwtV4Client::EraseMemory(int32_t index, uint32_t address, uint32_t length, int32_t& ok) {
    TraceLine("CHwtV4Client::EraseMemory");
    const int result =
        telegramm(kEraseCommand, {Scalar(index), Scalar(address), Scalar(length)}, EraseTimeoutMs(length));
    ok = DeviceStatus() == kHwtPass ? 1 : 0;
    return result;
}

int CHwtV4Client::XorMemory(int32_t index, uint32_t address, uint32_t length, int32_t& checksum) {
    TraceLine("CHwtV4Client::XorMemory");
    const int result = telegramm(kXorCommand, {Scalar(index), Scalar(address), Scalar(length)}, kXorTimeoutMs);
    if (result == 1) checksum = Field(0);
    return result == 1 && DeviceStatus() != kHwtFail ? 1 : 0;
}

int CHwtV4Client::HwtCopyMemory(int32_t a, int32_t b, int32_t c, int32_t& ok) {
    TraceLine("CHwtV4Client::HwtCopyMemory");
    const int result = telegramm(kCopyCommand, {Scalar(a), Scalar(b), Scalar(c)}, kLongWorkTimeoutMs);
    ok = DeviceStatus() == kHwtPass || DeviceStatus() == kHwtDone ? 1 : 0;
    return result;
}

int CHwtV4Client::Jump(uint32_t address) {
    TraceLine("CHwtV4Client::Jump");
    // Code started at the address runs instead of the firmware: no answer comes.
    telegramm(kJumpCommand, {Scalar(address)}, kSendOnly);
    return 1;
}

int CHwtV4Client::GetParAdr(int32_t& a, int32_t& b, int32_t& c, int32_t& d) {
    TraceLine("CHwtV4Client::GetParAdr");
    const int result = telegramm(kParameterAddressCommand, {}, kQueryTimeoutMs);
    a = Field(0);
    b = Field(1);
    c = Field(2);
    d = Field(3);
    return result;
}

int CHwtV4Client::GetDprInfo(int32_t port, std::vector<uint8_t>& buffer, uint32_t length) {
    TraceLine("CHwtV4Client::GetDprInfo");
    int32_t socket = 0;
    int32_t address = 0;
    if (GetSerialPort(port, socket, address) != 1) return 0;
    return ReadMemory(kDualPortMemory, static_cast<uint32_t>(address), length, buffer);
}

}  // namespace testbay
