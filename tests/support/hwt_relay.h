#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "comm/channel.h"
#include "hwt/hwt_client.h"
#include "sim/hwt_codec.h"
#include "support/virtual_line.h"

namespace testbay::test {

using Ints = std::vector<int32_t>;

// A passing answer to `command` whose fields are these scalars.
inline Bytes PassAnswer(uint8_t command, const Ints& values) {
    std::vector<sim::HwtAnswerField> fields;
    for (const int32_t value : values) fields.push_back(sim::AnswerScalar(value));
    return sim::EncodeHwtAnswer(command, kHwtPass, fields);
}

// The relay's hardware-test firmware on COM1 at its start rate, with a client.
// The relay answers unless a test scripts the answers itself.
class HwtRelayTest : public ::testing::Test {
protected:
    HwtRelayTest() { ComBaud(channel_, kHwtStartBaud); }

    // A call's result followed by the outputs it left, for one comparison.
    template <typename... Out>
    static std::tuple<int, Out...> Outcome(int result, const Out&... out) {
        return {result, out...};
    }

    // Every request gets the one answer `answer` makes from its command code.
    void Script(std::function<Bytes(uint8_t command)> answer) {
        peer_.SetScript([answer](const Bytes& request) { return std::vector<Bytes>{answer(request[2])}; });
    }
    // The scalars of each request of `command` written so far.
    std::vector<Ints> Sent(uint8_t command) { return SentScalars(line_.Line(), command); }
    // Write `index` as the relay decodes it.
    sim::HwtRequestFrame Request(size_t index) {
        const Bytes& bytes = line_.Line().Writes().at(index).bytes;
        return sim::HwtRequestAssembler().Feed(bytes.data(), bytes.size()).at(0);
    }
    // The command codes written since the last call.
    std::vector<uint8_t> TakeCommands() {
        std::vector<uint8_t> commands;
        for (const auto& written : line_.Line().Writes()) commands.push_back(written.bytes[2]);
        line_.Line().ClearWrites();
        return commands;
    }

    sim::RelayModel relay_;
    ScriptedPeer peer_{
        [this](const Bytes& bytes) { return relay_.Receive(bytes.data(), bytes.size(), line_.Line().PcSettings()); }};
    VirtualLineFixture line_{peer_};
    int channel_ = line_.OpenChannel();
    CHwtV4Client client_{channel_};
};

}  // namespace testbay::test
