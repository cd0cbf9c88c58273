#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "automation/automation_document.h"
#include "automation/request_lines.h"

namespace testbay {

// Serves one automation client over JSON-RPC 2.0: one request or batch per
// line in, one reply or array of replies per line out. Every error ends only
// its own call.
class AutomationServer {
public:
    static constexpr size_t kMaxLineLength = 16 * 1024 * 1024;
    // What one line may hold, so that its work and memory stay bounded: no
    // method needs more than three levels (batch, request, parameters), and
    // the replies of a full batch stay near 12 MB.
    static constexpr int kMaxNesting = 32;
    static constexpr size_t kMaxValuesPerLine = 100000;
    static constexpr size_t kMaxBatchRequests = 1000;

    // The reply to one request line, or nothing for a notification (or a
    // batch of notifications only).
    // `diagnostics`, when given, gets a line for every failed entry into the
    // hardware test, with its reason.
    explicit AutomationServer(std::ostream* diagnostics = nullptr) : diagnostics_(diagnostics) {}

    std::optional<std::string> HandleLine(const std::string& line);
    CTESTBAYDoc& Document() { return document_; }

private:
    CTESTBAYDoc document_;
    std::ostream* diagnostics_;
};

// Runs a server until the input closes or a stop is requested; either ends
// a running call at once (platform/stop_request.h). Failed entries are told
// on `diagnostics` as well.
void RunAutomationServer(const InputRead& read, std::ostream& output, std::ostream& diagnostics);

// 8-bit texts travel as JSON strings of the characters U+0000 to U+00FF.
std::string EightBitToUtf8(const std::string& bytes);
// False when a character lies above U+00FF (or the text is no UTF-8).
bool Utf8ToEightBit(const std::string& utf8, std::string& bytes);

}  // namespace testbay
