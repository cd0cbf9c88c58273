#include "sim/boot_system.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "protocol/boot_protocol.h"
#include "protocol/crc.h"

namespace testbay::sim {
namespace {

constexpr const char* kBootName = "BOOT V04.10.02";

std::vector<uint8_t> WithCrc(std::vector<uint8_t> answer) {
    answer.resize(kCommandAnswerSize - 2, 0);
    const uint16_t crc = Crc16Xmodem(answer.data(), answer.size());
    answer.push_back(static_cast<uint8_t>(crc >> 8));
    answer.push_back(static_cast<uint8_t>(crc));
    return answer;
}

std::string TextUntilNul(const uint8_t* bytes, size_t length) {
    const uint8_t* end = std::find(bytes, bytes + length, 0);
    return std::string(bytes, end);
}

std::vector<uint8_t> EscText(const std::string& text) {
    std::vector<uint8_t> block{kEsc, ' '};
    for (const char letter : text) block.push_back(static_cast<uint8_t>(letter));
    block.resize(18, ' ');
    return block;
}

}  // namespace

bool BootSystem::NextAnswerIsNak() {
    ++answers_;
    return nakEvery_ != 0 && answers_ % nakEvery_ == 0;
}

BootSystem::Outcome BootSystem::Receive(const uint8_t* bytes, size_t count) {
    Outcome outcome;
    pending_.insert(pending_.end(), bytes, bytes + count);
    for (;;) {
        const auto start = std::find_if(pending_.begin(), pending_.end(),
                                        [](uint8_t byte) { return byte == kCommandStart || byte == kBlockStart; });
        pending_.erase(pending_.begin(), start);
        if (pending_.empty()) break;
        const size_t size = pending_[0] == kCommandStart ? kBootCommandSize : kBootBlockSize;
        if (pending_.size() < size) break;
        const std::vector<uint8_t> telegram(pending_.begin(), pending_.begin() + static_cast<long>(size));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(size));
        if (Crc16Xmodem(telegram.data(), size) != 0 || NextAnswerIsNak()) {
            outcome.answers.push_back({kNak});
        } else if (size == kBootCommandSize) {
            outcome.answers.push_back(Command(telegram.data(), outcome.restartCode));
        } else {
            for (auto& answer : Block(telegram.data())) outcome.answers.push_back(std::move(answer));
        }
    }
    return outcome;
}

std::vector<uint8_t> BootSystem::Command(const uint8_t* telegram, int& restartCode) {
    const uint8_t letter = telegram[1];
    switch (letter) {
    case kBootIdentify: {
        std::vector<uint8_t> answer{kAck, kBootIdentify};
        for (const char letter : std::string_view(kBootName)) answer.push_back(static_cast<uint8_t>(letter));
        return WithCrc(answer);
    }
    case kBootTransferMode: return WithCrc({kAck, kBootTransferMode, 0x00, telegram[3]});
    case kBootRestart: restartCode = telegram[2]; return WithCrc({kAck, kBootRestart, telegram[2]});
    default: return {kNak};
    }
}

std::vector<std::vector<uint8_t>> BootSystem::Block(const uint8_t* telegram) {
    if (telegram[2] != kBootBlockWrite) return {{kNak}};
    if (telegram[1] == kBootBlockMlfb) {
        identity_.mlfb = TextUntilNul(telegram + 3, kBootMlfbSize);
        return {EscText("MLFB gespeichert"), {kAck}};
    }
    if (telegram[1] == kBootBlockSerialNumber) {
        identity_.serialNumber = TextUntilNul(telegram + 3, kBootSerialNumberSize);
        return {{kAck}};
    }
    return {{kNak}};
}

}  // namespace testbay::sim
