#pragma once

#include <cstddef>
#include <string_view>

namespace testbay {

// Thrown by value by the serial layer for a bad channel index or a closed
// channel. The text is kept in place (up to 255 characters) so that throwing
// never allocates.
class CComExeption {
public:
    explicit CComExeption(std::string_view message);
    const char* Message() const { return message_; }

private:
    char message_[256];
};

}  // namespace testbay
