#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/line_settings.h"

namespace testbay::rfc2217 {

using Bytes = std::vector<uint8_t>;

// Telnet commands and options.
constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kNop = 241;
constexpr uint8_t kSe = 240;
constexpr uint8_t kBinary = 0;
constexpr uint8_t kSuppressGoAhead = 3;
constexpr uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands of the client; the server answers each with the
// command plus kAnswerOffset and the value it took.
enum Command : uint8_t {
    kSetBaudrate = 1,
    kSetDatasize = 2,
    kSetParity = 3,
    kSetStopsize = 4,
    kSetControl = 5,
    kPurgeData = 12,
};
constexpr uint8_t kAnswerOffset = 100;
constexpr uint8_t kControlDtrOn = 8;
constexpr uint8_t kControlDtrOff = 9;
constexpr uint8_t kControlRtsOn = 11;
constexpr uint8_t kControlRtsOff = 12;
constexpr uint8_t kPurgeBoth = 3;

// A subnegotiation longer than this is no COM-PORT answer: it is skipped.
constexpr size_t kMaxSubnegotiation = 64;

Bytes BaudValue(uint32_t baud);
// Parity and stop bits in the protocol's numbering (parity 1 none, 2 odd,
// 3 even, 4 mark, 5 space; stop bits 1 one, 2 two, 3 one and a half).
uint8_t ParityValue(int parityCode);
uint8_t StopsizeValue(int stopBitsCode);

// Appends `bytes` as Telnet data: every 0xFF doubled.
void AppendData(const uint8_t* bytes, size_t length, Bytes& wire);

// The client side of a Telnet session with the COM port option, without any
// I/O: it says what to send and makes sense of what the server sends.
class ClientSession {
public:
    ClientSession();

    // The opening offers: the COM port option, binary both ways, no go-aheads.
    Bytes Greeting();
    // Appends one COM-PORT-OPTION command; its answer is awaited from now on.
    void AppendCommand(Command command, const Bytes& value, Bytes& wire);
    // Takes bytes from the server, in any split: the data goes to `data`,
    // the replies the negotiation needs to `reply`; Telnet commands and
    // subnegotiations are taken out.
    void Receive(const uint8_t* bytes, size_t length, Bytes& data, Bytes& reply);

    // The answer to the latest `command`, once it is in.
    std::optional<Bytes> Answer(Command command) const;
    // Whether the server agreed to the COM port option; nullopt while it has not said.
    std::optional<bool> ComPortAgreed() const;

private:
    enum class Parse { Data, Iac, Option, Subnegotiation, SubnegotiationIac };
    enum class Side : uint8_t { No, Asked, Yes };
    struct Awaited {
        int outstanding = 0;  // commands sent whose answer has not come yet
        std::optional<Bytes> answer;
    };

    void Command(uint8_t byte);
    void Negotiate(uint8_t verb, uint8_t option, Bytes& reply);
    void EndSubnegotiation();

    Parse parse_ = Parse::Data;
    uint8_t verb_ = 0;
    Bytes subnegotiation_;
    bool subnegotiationTooLong_ = false;
    std::array<Side, 256> ours_{};    // what we do (WILL/WONT)
    std::array<Side, 256> theirs_{};  // what the server does (DO/DONT)
    std::optional<bool> comPortAgreed_;
    std::array<Awaited, kPurgeData + 1> awaited_{};
};

}  // namespace testbay::rfc2217
