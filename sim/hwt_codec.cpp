#include "sim/hwt_codec.h"

#include "protocol/crc.h"
#include "protocol/hwt_protocol.h"

namespace testbay::sim {
namespace {

int32_t BigEndian32(const uint8_t* bytes) {
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                                static_cast<uint32_t>(bytes[2]) << 8 | bytes[3]);
}

// Splits the parameter data into fields by the type bits; fields past the
// fourth carry none and are read as four-byte scalars.
void DecodeFields(const uint8_t* data, size_t size, uint8_t typeByte, HwtRequestFrame& request) {
    size_t position = 0;
    for (size_t index = 0; position < size; ++index) {
        const uint32_t type = index < kHwtTypedFields ? (typeByte >> (2 * index)) & 3u : 2u;
        if (type == 1) {
            request.scalars.push_back(data[position]);
            position += 1;
        } else if (type == 3) {
            size_t length = data[position];
            size_t prefix = 1;
            // A zero opens a three-byte prefix only for a length that needs
            // one and a block that fits; otherwise the block is empty and the
            // next field follows at once.
            if (length == 0 && size - position >= 3) {
                const size_t longLength = static_cast<size_t>(data[position + 1]) << 8 | data[position + 2];
                if (longLength > kHwtShortBlockLimit && position + 3 + longLength <= size) {
                    length = longLength;
                    prefix = 3;
                }
            }
            if (position + prefix + length > size) return;
            request.blocks.emplace_back(data + position + prefix, data + position + prefix + length);
            position += prefix + length;
        } else if (type == 2 && position + 4 <= size) {
            request.scalars.push_back(BigEndian32(data + position));
            position += 4;
        } else {
            return;
        }
        request.fieldCount = index + 1;
    }
}

// The PC sign-extends one-byte fields. Fields 0 to 3 say their width in the
// type byte; the fifth is typed by the bytes left after it, so it is one byte
// only when it is the last; every later one is read as four bytes.
bool OneByteAnswerScalar(int32_t value, size_t index, size_t fieldCount) {
    const bool fits = value >= -128 && value <= 127;
    return fits && (index < kHwtTypedFields || (index == kHwtTypedFields && index + 1 == fieldCount));
}

}  // namespace

std::vector<HwtRequestFrame> HwtRequestAssembler::Feed(const uint8_t* bytes, size_t count) {
    pending_.insert(pending_.end(), bytes, bytes + count);
    std::vector<HwtRequestFrame> requests;
    for (;;) {
        size_t start = 0;
        while (start < pending_.size() && pending_[start] != kHwtStartByte) ++start;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(start));
        if (pending_.size() < 2) break;

        const bool longForm = pending_[1] == 0;
        const size_t header = longForm ? 4 : 2;
        if (pending_.size() < header) break;
        const size_t length = longForm ? (static_cast<size_t>(pending_[2]) << 8 | pending_[3]) : pending_[1];
        const size_t trailer = longForm ? 4 : 1;
        if (length < 2) {
            pending_.erase(pending_.begin());
            continue;
        }
        if (pending_.size() < header + length + trailer) break;

        const uint8_t* body = pending_.data() + header;
        HwtRequestFrame request;
        request.command = body[0];
        if (longForm) {
            request.checksumOk = static_cast<uint32_t>(BigEndian32(body + length)) == Crc32Jam(body, length);
        } else {
            uint8_t sum = 0;
            for (size_t index = 0; index < length; ++index) sum = static_cast<uint8_t>(sum + body[index]);
            request.checksumOk = sum == body[length];
        }
        if (request.checksumOk) DecodeFields(body + 2, length - 2, body[1], request);
        requests.push_back(std::move(request));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(header + length + trailer));
    }
    return requests;
}

void HwtRequestAssembler::Reset() { pending_.clear(); }

HwtAnswerField AnswerText(const std::string& text) {
    return {HwtAnswerField::Kind::Block, 0, std::vector<uint8_t>(text.begin(), text.end())};
}

std::vector<uint8_t> EncodeHwtAnswer(uint8_t command, uint8_t status, const std::vector<HwtAnswerField>& fields) {
    std::vector<uint8_t> data;
    uint8_t typeByte = 0;
    for (size_t index = 0; index < fields.size(); ++index) {
        const HwtAnswerField& field = fields[index];
        std::vector<uint8_t> encoded;
        uint8_t type = 0;
        if (field.kind == HwtAnswerField::Kind::Block) {
            const size_t length = field.bytes.size() > 255 ? 255 : field.bytes.size();
            encoded.push_back(static_cast<uint8_t>(length));
            encoded.insert(encoded.end(), field.bytes.begin(), field.bytes.begin() + static_cast<long>(length));
            type = 3;
        } else if (OneByteAnswerScalar(field.value, index, fields.size())) {
            encoded.push_back(static_cast<uint8_t>(field.value));
            type = 1;
        } else {
            const auto value = static_cast<uint32_t>(field.value);
            encoded = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
            type = 2;
        }
        if (3 + data.size() + encoded.size() > kHwtBlockSize) break;
        if (index < kHwtTypedFields) typeByte |= static_cast<uint8_t>(type << (2 * index));
        data.insert(data.end(), encoded.begin(), encoded.end());
    }
    std::vector<uint8_t> frame{kHwtStartByte, static_cast<uint8_t>(3 + data.size()), command, status, typeByte};
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (size_t index = 2; index < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
    frame.push_back(sum);
    return frame;
}

}  // namespace testbay::sim
