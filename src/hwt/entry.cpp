#include "comm/trace.h"
#include "hwt/hwt_client.h"
#include "protocol/hwt_commands.h"

namespace testbay {
namespace {
constexpr int kSendOnly = 0;
}  // namespace

int CHwtV4Client::ExitHardwareTest() {
    TraceLine("CHwtV4Client::ExitHardwareTest");
    return 1;
}

int CHwtV4Client::Reset(int32_t mode) {
    TraceLine("CHwtV4Client::Reset");
    // The relay restarts at once and cannot answer.
    telegramm(kResetCommand, {Scalar(mode)}, kSendOnly);
    return 1;
}

int CHwtV4Client::SetLevel(const std::string& /*text*/) {
    TraceLine("CHwtV4Client::SetLevel");
    return 1;
}

}  // namespace testbay
