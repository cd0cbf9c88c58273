#include "platform/rfc2217.h"

namespace testbay::rfc2217 {
namespace {

bool WeOffer(uint8_t option) { return option == kComPortOption || option == kBinary || option == kSuppressGoAhead; }
bool WeAccept(uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

void AppendCommandBytes(Bytes& wire, uint8_t verb, uint8_t option) { wire.insert(wire.end(), {kIac, verb, option}); }

}  // namespace

Bytes BaudValue(uint32_t baud) {
    return {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16), static_cast<uint8_t>(baud >> 8),
            static_cast<uint8_t>(baud)};
}

uint8_t ParityValue(int parityCode) { return static_cast<uint8_t>(parityCode + 1); }

uint8_t StopsizeValue(int stopBitsCode) {
    switch (stopBitsCode) {
    case kStopTwo: return 2;
    case kStopOneAndHalf: return 3;
    default: return 1;
    }
}

void AppendData(const uint8_t* bytes, size_t length, Bytes& wire) {
    for (size_t index = 0; index < length; ++index) {
        wire.push_back(bytes[index]);
        if (bytes[index] == kIac) wire.push_back(kIac);
    }
}

ClientSession::ClientSession() { subnegotiation_.reserve(kMaxSubnegotiation); }

Bytes ClientSession::Greeting() {
    Bytes wire;
    for (const uint8_t option : {kComPortOption, kBinary, kSuppressGoAhead}) {
        ours_[option] = Side::Asked;
        AppendCommandBytes(wire, kWill, option);
    }
    for (const uint8_t option : {kBinary, kSuppressGoAhead}) {
        theirs_[option] = Side::Asked;
        AppendCommandBytes(wire, kDo, option);
    }
    return wire;
}

void ClientSession::AppendCommand(rfc2217::Command command, const Bytes& value, Bytes& wire) {
    wire.insert(wire.end(), {kIac, kSb, kComPortOption, command});
    AppendData(value.data(), value.size(), wire);
    wire.insert(wire.end(), {kIac, kSe});
    if (command < awaited_.size()) {
        ++awaited_[command].outstanding;
        awaited_[command].answer.reset();
    }
}

void ClientSession::Receive(const uint8_t* bytes, size_t length, Bytes& data, Bytes& reply) {
    for (size_t index = 0; index < length; ++index) {
        const uint8_t byte = bytes[index];
        switch (parse_) {
        case Parse::Data:
            if (byte == kIac) {
                parse_ = Parse::Iac;
            } else {
                data.push_back(byte);
            }
            break;
        case Parse::Iac:
            if (byte == kIac) {
                data.push_back(kIac);
                parse_ = Parse::Data;
            } else {
                Command(byte);
            }
            break;
        case Parse::Option:
            Negotiate(verb_, byte, reply);
            parse_ = Parse::Data;
            break;
        case Parse::Subnegotiation:
            if (byte == kIac) {
                parse_ = Parse::SubnegotiationIac;
            } else if (subnegotiation_.size() < kMaxSubnegotiation) {
                subnegotiation_.push_back(byte);
            } else {
                subnegotiationTooLong_ = true;
            }
            break;
        case Parse::SubnegotiationIac:
            if (byte == kIac) {
                parse_ = Parse::Subnegotiation;
                if (subnegotiation_.size() < kMaxSubnegotiation) {
                    subnegotiation_.push_back(kIac);
                } else {
                    subnegotiationTooLong_ = true;
                }
            } else if (byte == kSe) {
                EndSubnegotiation();
                parse_ = Parse::Data;
            } else {
                // A server that forgot IAC SE: drop what it started, take the command.
                subnegotiation_.clear();
                subnegotiationTooLong_ = false;
                Command(byte);
            }
            break;
        }
    }
}

// After IAC: a negotiation verb, the start of a subnegotiation, or a command
// without argument (NOP, data mark, break, ...), which carries no data.
void ClientSession::Command(uint8_t byte) {
    if (byte >= kWill && byte <= kDont) {
        verb_ = byte;
        parse_ = Parse::Option;
    } else if (byte == kSb) {
        subnegotiation_.clear();
        subnegotiationTooLong_ = false;
        parse_ = Parse::Subnegotiation;
    } else {
        parse_ = Parse::Data;
    }
}

// Answers only changes of state, so that two ends never loop on each other.
// DO and DONT are about what we do, WILL and WONT about what the server does.
void ClientSession::Negotiate(uint8_t verb, uint8_t option, Bytes& reply) {
    const bool local = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    Side& side = local ? ours_[option] : theirs_[option];
    const uint8_t agree = local ? kWill : kDo;
    const uint8_t decline = local ? kWont : kDont;
    if (enable && !(local ? WeOffer(option) : WeAccept(option))) {
        AppendCommandBytes(reply, decline, option);
    } else if (enable) {
        if (side == Side::No) AppendCommandBytes(reply, agree, option);
        side = Side::Yes;
    } else {
        if (side == Side::Yes) AppendCommandBytes(reply, decline, option);
        side = Side::No;
    }
    if (local && option == kComPortOption) comPortAgreed_ = enable;
}

void ClientSession::EndSubnegotiation() {
    const bool usable = !subnegotiationTooLong_ && subnegotiation_.size() >= 2 &&
                        subnegotiation_[0] == kComPortOption && subnegotiation_[1] > kAnswerOffset;
    if (usable) {
        const size_t command = subnegotiation_[1] - kAnswerOffset;
        if (command < awaited_.size() && awaited_[command].outstanding > 0) {
            // Only the answer to the latest command counts: earlier ones may come late.
            if (--awaited_[command].outstanding == 0) {
                awaited_[command].answer = Bytes(subnegotiation_.begin() + 2, subnegotiation_.end());
            }
        }
    }
    subnegotiation_.clear();
    subnegotiationTooLong_ = false;
}

std::optional<Bytes> ClientSession::Answer(rfc2217::Command command) const {
    if (command >= awaited_.size()) return std::nullopt;
    return awaited_[command].answer;
}

std::optional<bool> ClientSession::ComPortAgreed() const { return comPortAgreed_; }

}  // namespace testbay::rfc2217
