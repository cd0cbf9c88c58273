#include "comm/trace.h"
#include "hwt/hwt_client.h"

namespace testbay {
namespace {
constexpr uint8_t kIdentityCommand = 0x6F;
constexpr int kQueryTimeoutMs = 60;
}  // namespace

int CHwtV4Client::GetCPU(std::string& text) {
    TraceLine("CHwtV4Client::GetCPU");
    text.clear();
    const int result = telegramm(kIdentityCommand, {}, kQueryTimeoutMs);
    if (result == 1) text = FieldText(0);
    return result;
}

}  // namespace testbay
