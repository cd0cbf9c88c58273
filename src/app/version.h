#pragma once

namespace testbay {

constexpr const char* kTestbayVersion = "04.02.08";
// Formatted with the version; the trailing blank belongs to it.
constexpr const char* kMainWindowTitleFormat = "TESTBAY %s based Application ";

}  // namespace testbay
