#pragma once

// The input of a harness read as a stream of values.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testbay::fuzz {

using Bytes = std::vector<uint8_t>;

// The input front to back; past its end every value is zero.
class FuzzStream {
public:
    FuzzStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return offset_ >= size_; }
    uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
    int32_t Int32() {
        uint32_t value = 0;
        for (int index = 0; index < 4; ++index) value = value << 8 | Byte();
        return static_cast<int32_t>(value);
    }
    double Double() {
        uint64_t bits = 0;
        for (int index = 0; index < 8; ++index) bits = bits << 8 | Byte();
        return std::bit_cast<double>(bits);
    }
    Bytes Take(size_t count) {
        count = std::min(count, size_ - std::min(offset_, size_));
        Bytes bytes(data_ + offset_, data_ + offset_ + count);
        offset_ += count;
        return bytes;
    }
    // A text whose length is the next byte, at most `maximum`.
    std::string Text(size_t maximum) {
        const Bytes bytes = Take(std::min<size_t>(Byte(), maximum));
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

}  // namespace testbay::fuzz
