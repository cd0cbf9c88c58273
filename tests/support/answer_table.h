#pragma once

#include <functional>
#include <map>
#include <vector>

#include "protocol/hwt_commands.h"
#include "protocol/hwt_protocol.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay::test {

// Hardware-test firmware on COM1 whose answers a test writes per command
// code. The LED command always passes without fields, so that a connect finds
// the firmware; any other command without an answer is unknown to it.
struct AnswerTable {
    std::map<uint8_t, std::function<Bytes(const Bytes& request)>> answers;
    ScriptedPeer peer{[this](const Bytes& request) {
        const uint8_t command = request[2];
        const auto found = answers.find(command);
        if (command == kLedCommand || found == answers.end()) {
            const uint8_t status = command == kLedCommand ? kHwtPass : kHwtCommandUnknown;
            return std::vector<Bytes>{sim::EncodeHwtAnswer(command, status, {})};
        }
        return std::vector<Bytes>{found->second(request)};
    }};
    VirtualLineFixture line{peer};
};

}  // namespace testbay::test
