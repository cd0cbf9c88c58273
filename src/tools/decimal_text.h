#pragma once

#include <cstdint>
#include <string_view>

namespace testbay {

// The number in a dialog's edit box: leading blanks, an optional sign, then
// decimal digits up to the first other character; 0 when there are none.
// Values beyond 32 bits saturate instead of overflowing.
int32_t ReadDecimal(std::string_view text);

}  // namespace testbay
