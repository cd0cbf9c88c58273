#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testbay::sim {

// A request as the relay's hardware-test firmware sees it.
struct HwtRequestFrame {
    uint8_t command = 0;
    bool checksumOk = true;
    std::vector<int32_t> scalars;              // every scalar field in order
    std::vector<std::vector<uint8_t>> blocks;  // every block field in order
    size_t fieldCount = 0;
};

// Collects request telegrams (short form with sum byte, long form with CRC)
// from the bytes the relay receives.
class HwtRequestAssembler {
public:
    // Feeds bytes; returns every request completed by them.
    std::vector<HwtRequestFrame> Feed(const uint8_t* bytes, size_t count);
    void Reset();

private:
    std::vector<uint8_t> pending_;
};

// One answer field; scalars go out as one byte where the PC reads the value
// back unchanged, else as four. A fifth field with more after it is read as a
// block by the PC, so only a block belongs there.
struct HwtAnswerField {
    enum class Kind { Scalar, Block } kind = Kind::Scalar;
    int32_t value = 0;
    std::vector<uint8_t> bytes;
};

inline HwtAnswerField AnswerScalar(int32_t value) { return {HwtAnswerField::Kind::Scalar, value, {}}; }
HwtAnswerField AnswerText(const std::string& text);

// Builds the response telegram 0x68 L echo status type fields sum; fields that
// would overflow the one-byte length are left out.
std::vector<uint8_t> EncodeHwtAnswer(uint8_t command, uint8_t status, const std::vector<HwtAnswerField>& fields);

}  // namespace testbay::sim
