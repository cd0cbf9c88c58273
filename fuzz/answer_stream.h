#pragma once

// For the harnesses that drive a client over the in-memory line: a relay end
// that answers each request with the next answers the input describes, in
// whichever protocol they pick.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "comm/channel.h"
#include "fuzz_stream.h"
#include "platform/clock.h"
#include "protocol/boot_protocol.h"
#include "protocol/hwt_protocol.h"
#include "sim/memory_line.h"
#include "support/virtual_line.h"

namespace testbay::fuzz {

// The command a hardware-test request carries, in its short or long form.
inline uint8_t RequestCommand(const Bytes& request) {
    if (request.size() > 4 && request[1] == 0) return request[4];
    return request.size() > 2 ? request[2] : 0;
}

// A hardware-test answer with a right length and sum; status, type byte and
// fields come from the stream.
inline Bytes HwtAnswer(uint8_t echo, FuzzStream& stream) {
    Bytes body{echo, stream.Byte(), stream.Byte()};  // echo, status, type byte
    const Bytes fields = stream.Take(stream.Byte() % (kHwtBlockSize - body.size() + 1));
    body.insert(body.end(), fields.begin(), fields.end());
    Bytes frame{kHwtStartByte, static_cast<uint8_t>(body.size())};
    frame.insert(frame.end(), body.begin(), body.end());
    uint8_t sum = 0;
    for (const uint8_t byte : body) sum = static_cast<uint8_t>(sum + byte);
    frame.push_back(sum);
    return frame;
}

// VDEW frames with a right sum (the client keeps the sum only for the record).
inline Bytes VdewFixedFrame(FuzzStream& stream) {
    const uint8_t control = stream.Byte();
    const uint8_t address = stream.Byte();
    return {0x10, control, address, static_cast<uint8_t>(control + address), 0x16};
}

inline Bytes VdewVariableFrame(FuzzStream& stream) {
    const Bytes body = stream.Take(stream.Byte());
    const auto length = static_cast<uint8_t>(body.size());
    Bytes frame{0x68, length, length, 0x68};
    frame.insert(frame.end(), body.begin(), body.end());
    uint8_t sum = 0;
    for (const uint8_t byte : body) sum = static_cast<uint8_t>(sum + byte);
    frame.push_back(sum);
    frame.push_back(0x16);
    return frame;
}

// The answers to one request. Each starts with a head byte: its low three
// bits pick the form, bit 3 says that another answer follows. Well-formed
// frames get a right length and checksum so that decoding is reached; a
// used-up stream answers nothing.
inline std::vector<Bytes> StreamAnswers(const Bytes& request, FuzzStream& stream) {
    std::vector<Bytes> answers;
    for (bool more = true; more && !stream.Empty();) {
        const uint8_t head = stream.Byte();
        more = (head & 0x08) != 0;
        switch (head & 0x07) {
        case 0:
        case 1: answers.push_back(HwtAnswer(RequestCommand(request), stream)); break;
        case 2: answers.push_back(HwtAnswer(stream.Byte(), stream)); break;
        case 3: answers.push_back(test::BootTelegram(stream.Take(stream.Byte() % (kCommandAnswerSize - 1)))); break;
        case 4: answers.push_back(VdewFixedFrame(stream)); break;
        case 5: answers.push_back(VdewVariableFrame(stream)); break;
        case 6: answers.push_back(stream.Take(stream.Byte())); break;
        default: break;  // silence: this request times out
        }
    }
    return answers;
}

// A virtual clock, and the channel of COM<comNumber> wired to a relay end
// that answers from `stream`. Once the input is used up the relay is silent;
// an operation that keeps asking a silent relay would hold a real caller for
// ever (time-outs are the caller's to choose, so requests are counted).
class StreamLine {
public:
    static constexpr int kMostRequestsToSilence = 10000;

    StreamLine(FuzzStream& stream, int comNumber)
        : peer_([this, &stream](const Bytes& request) {
              if (stream.Empty() && ++requestsToSilence_ > kMostRequestsToSilence) {
                  std::fprintf(stderr, "still asking a silent relay after %d requests\n", kMostRequestsToSilence);
                  std::abort();
              }
              return StreamAnswers(request, stream);
          }),
          clockScope_(clock_),
          line_(peer_, clock_) {
        SetSerialPortFactory([this](int) { return line_.OpenPort(); });
        ComOpen(comNumber, channel_);
    }
    ~StreamLine() {
        ComClose(channel_);
        SetSerialPortFactory(nullptr);
    }
    StreamLine(const StreamLine&) = delete;
    StreamLine& operator=(const StreamLine&) = delete;

    int Channel() const { return channel_; }

private:
    test::ScriptedPeer peer_;
    VirtualClock clock_;
    ScopedClock clockScope_;
    sim::MemoryLine line_;
    int channel_ = -1;
    int requestsToSilence_ = 0;
};

}  // namespace testbay::fuzz
