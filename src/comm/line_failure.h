#pragma once

#include <optional>
#include <string>
#include <utility>

#include "comm/com_exception.h"

namespace testbay {

// Runs one handler at the edge between the line and what the user sees: the
// serial layer's text when the handler ended because the line went away
// (CComExeption), nothing when it ran to its end. Other exceptions pass.
template <typename Handler>
std::optional<std::string> CatchLineFailure(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const CComExeption& error) {
        return std::string(error.Message());
    }
    return std::nullopt;
}

}  // namespace testbay
