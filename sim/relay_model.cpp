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
        // The answer still goes out at the old rate; the next request must
        // come at the new one.
        if (const uint32_t baud = firmware_.TakeRequestedBaud()) line_.baud = baud;
    }
    return answers;
}

}  // namespace testbay::sim
