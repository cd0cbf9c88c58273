#pragma once

#include <atomic>
#include <istream>
#include <ostream>

namespace testbay {

// Serves one automation client: one JSON-RPC request per input line, one
// reply per output line, until the input closes or `stop` is set.
void RunAutomationServer(std::istream& input, std::ostream& output, const std::atomic<bool>& stop);

}  // namespace testbay
