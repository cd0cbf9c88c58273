#include <cstdlib>
#include <string_view>

#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
// Writing the identity goes to flash.
constexpr int kIdentityWriteTimeoutMs = 2400;
constexpr int32_t kFirmwareVersionIndex = 3;
constexpr size_t kCpuIdTextLength = 11;

bool IsSerialNumberCharacter(char character) {
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
           (character >= '0' && character <= '9') || character == ' ' || character == '_' || character == '-';
}

// "V04.70.15" gives 70: the two characters after the first point.
int MinorVersion(const std::string& version) {
    const size_t point = version.find('.');
    if (point == std::string::npos) return 0;
    const std::string minor = version.substr(point + 1, 2);
    return static_cast<int>(std::strtol(minor.c_str(), nullptr, 10));
}

int32_t LowByte(int32_t value) { return value & 0xFF; }

}  // namespace

int CHwtV4Client::GetCPU(std::string& text) {
    TraceLine("CHwtV4Client::GetCPU");
    text.clear();
    const int result = telegramm(kIdentityCommand, {}, kQueryTimeoutMs);
    if (result == 1) text = FieldText(0);
    return result;
}

int CHwtV4Client::GetHWVersion(std::string& text) {
    TraceLine("CHwtV4Client::GetHWVersion");
    text.clear();
    const int result = telegramm(kIdentityCommand, {}, kQueryTimeoutMs);
    if (result == 1) text = FieldText(1);
    return result;
}

int CHwtV4Client::GetVersion(int32_t index, std::string& text) {
    TraceLine("CHwtV4Client::GetVersion");
    text.clear();
    const int result = telegramm(kIdentityCommand, {Scalar(index)}, kQueryTimeoutMs);
    if (result == 1) text = FieldText(1);
    return result;
}

int CHwtV4Client::GetVersionNumber() {
    TraceLine("CHwtV4Client::GetVersionNumber");
    std::string version;
    if (GetVersion(kFirmwareVersionIndex, version) != 1) return 0;
    return MinorVersion(version);
}

int CHwtV4Client::GetMLFB(std::string& text) {
    TraceLine("CHwtV4Client::GetMLFB");
    text.clear();
    const int result = telegramm(kMlfbCommand, {}, kQueryTimeoutMs);
    if (result == 1) text = FieldText(0);
    return result;
}

int CHwtV4Client::SetMLFB(const std::string& text) {
    TraceLine("CHwtV4Client::SetMLFB");
    const int result = telegramm(kWriteMlfbCommand, {Block(text.data(), text.size())}, kIdentityWriteTimeoutMs);
    if (DeviceStatus() == kHwtCommandUnknown) return SetMlfbThroughBootSystem(text);
    return result;
}

int CHwtV4Client::GetSerialNumber(std::string& text) {
    TraceLine("CHwtV4Client::GetSerialNumber");
    int result = telegramm(kSerialNumberCommand, {}, kQueryTimeoutMs);
    std::string_view serialNumber = FieldText(0);
    for (const char character : serialNumber) {
        if (!IsSerialNumberCharacter(character)) {
            result = 0;
            serialNumber = {};
            break;
        }
    }
    text = serialNumber;
    return result;
}

int CHwtV4Client::SetSrialNumber(const std::string& text) {
    TraceLine("CHwtV4Client::SetSrialNumber");
    const int result = telegramm(kWriteSerialNumberCommand, {Block(text.data(), text.size())}, kIdentityWriteTimeoutMs);
    if (DeviceStatus() == kHwtCommandUnknown) return SetSerialNumberThroughBootSystem(text);
    return result;
}

int CHwtV4Client::GetCpuId(uint8_t& a, uint8_t& b, uint8_t& c, std::string& text, int32_t& d) {
    TraceLine("CHwtV4Client::GetCpuId");
    const int result = telegramm(kCpuIdCommand, {}, kQueryTimeoutMs);
    a = static_cast<uint8_t>(Field(0));
    b = static_cast<uint8_t>(Field(1));
    c = static_cast<uint8_t>(Field(2));
    text = std::string_view(FieldText(3)).substr(0, kCpuIdTextLength);
    d = Field(4);
    return result;
}

int CHwtV4Client::SetCpuId(int32_t a, int32_t b, int32_t c, const std::string& text) {
    TraceLine("CHwtV4Client::SetCpuId");
    return telegramm(kCpuIdCommand,
                     {Scalar(LowByte(a)), Scalar(LowByte(b)), Scalar(LowByte(c)), Block(text.data(), text.size())},
                     kQueryTimeoutMs);
}

}  // namespace testbay
