#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/hwt_protocol.h"

namespace testbay {

// One request field: a scalar takes one parameter word, a block two (its
// length and its bytes), which matters because a scalar's width depends on
// the word it stands in.
struct HwtField {
    int32_t value = 0;
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    bool isBlock = false;
};

inline HwtField Scalar(int32_t value) { return HwtField{value, nullptr, 0, false}; }
inline HwtField Scalar(uint32_t value) { return Scalar(static_cast<int32_t>(value)); }
inline HwtField Block(const void* bytes, size_t length) {
    return HwtField{0, static_cast<const uint8_t*>(bytes), length, true};
}

// Builds the request telegram: the short form with a sum byte below 240 bytes
// of parameter data, the long form with a CRC from 240 on. False when the
// fields do not fit a telegram at all (a block or the data beyond 16 bits of
// length).
bool EncodeHwtRequest(uint8_t command, std::span<const HwtField> fields, std::vector<uint8_t>& frame);

}  // namespace testbay
