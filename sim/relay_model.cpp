#include "sim/relay_model.h"

namespace testbay::sim {

RelayModel::RelayModel(LineSettings line) : line_(line) {}

bool RelayModel::Understands(const LineSettings& pcSide) const {
    return pcSide.baud == line_.baud && pcSide.parity == line_.parity;
}

std::vector<std::vector<uint8_t>> RelayModel::Receive(const uint8_t* bytes, size_t count,
                                                      const LineSettings& pcSide) {
    std::vector<std::vector<uint8_t>> answers;
    if (!Understands(pcSide)) {
        assembler_.Reset();
        return answers;
    }
    for (const HwtRequestFrame& request : assembler_.Feed(bytes, count)) {
        ++requestsSeen_;
        answers.push_back(firmware_.Answer(request));
        // The answer still goes out at the old rate; whatever follows it in
        // this chunk was sent at the old rate too and is garbage now.
        if (const uint32_t baud = hardware_.requestedLinkBaud) {
            hardware_.requestedLinkBaud = 0;
            line_.baud = baud;
            assembler_.Reset();
            break;
        }
    }
    return answers;
}

}  // namespace testbay::sim
