#include "comm/com_exception.h"

#include <algorithm>

namespace testbay {

CComExeption::CComExeption(std::string_view message) {
    const size_t length = std::min(message.size(), sizeof(message_) - 1);
    std::copy_n(message.data(), length, message_);
    message_[length] = '\0';
}

}  // namespace testbay
