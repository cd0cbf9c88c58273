#include "hwt/hwt_request.h"

#include "protocol/crc.h"
#include "protocol/hwt_protocol.h"

namespace testbay {
namespace {

constexpr size_t kNarrowWords = 4;
constexpr uint8_t kTypeByte = 1;
constexpr uint8_t kTypeLong = 2;
constexpr uint8_t kTypeBlock = 3;

void AppendBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Appends one field's bytes and returns its type code.
uint8_t EncodeField(const HwtField& field, size_t wordIndex, std::vector<uint8_t>& data) {
    if (field.isBlock) {
        if (field.length <= kHwtShortBlockLimit) {
            data.push_back(static_cast<uint8_t>(field.length));
        } else {
            data.push_back(0x00);
            data.push_back(static_cast<uint8_t>(field.length >> 8));
            data.push_back(static_cast<uint8_t>(field.length));
        }
        if (field.length != 0) data.insert(data.end(), field.bytes, field.bytes + field.length);
        return kTypeBlock;
    }
    if (wordIndex < kNarrowWords && field.value >= 0 && field.value <= 255) {
        data.push_back(static_cast<uint8_t>(field.value));
        return kTypeByte;
    }
    AppendBigEndian32(data, static_cast<uint32_t>(field.value));
    return kTypeLong;
}

}  // namespace

bool EncodeHwtRequest(uint8_t command, std::span<const HwtField> fields, std::vector<uint8_t>& frame) {
    std::vector<uint8_t> data;
    uint8_t typeByte = 0;
    size_t wordIndex = 0;
    for (size_t fieldIndex = 0; fieldIndex < fields.size(); ++fieldIndex) {
        const HwtField& field = fields[fieldIndex];
        if (field.isBlock && (field.length > kMaxBlockLength || (field.length != 0 && !field.bytes))) return false;
        const uint8_t type = EncodeField(field, wordIndex, data);
        if (fieldIndex < kHwtTypedFields) typeByte |= static_cast<uint8_t>(type << (2 * fieldIndex));
        wordIndex += field.isBlock ? 2 : 1;
    }
    const size_t length = data.size() + 2;
    if (length > 0xFFFF) return false;

    frame.clear();
    frame.push_back(kHwtStartByte);
    if (data.size() < kHwtShortFormLimit) {
        frame.push_back(static_cast<uint8_t>(length));
        frame.push_back(command);
        frame.push_back(typeByte);
        frame.insert(frame.end(), data.begin(), data.end());
        uint8_t sum = 0;
        for (size_t index = 2; index < frame.size(); ++index) sum = static_cast<uint8_t>(sum + frame[index]);
        frame.push_back(sum);
        return true;
    }
    frame.push_back(0x00);
    frame.push_back(static_cast<uint8_t>(length >> 8));
    frame.push_back(static_cast<uint8_t>(length));
    frame.push_back(command);
    frame.push_back(typeByte);
    frame.insert(frame.end(), data.begin(), data.end());
    AppendBigEndian32(frame, Crc32Jam(frame.data() + 4, length));
    return true;
}

}  // namespace testbay
