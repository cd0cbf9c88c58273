#pragma once

namespace testbay {

// From the project version of the build.
constexpr const char* kTestbayVersion = TESTBAY_VERSION;
// Formatted with the version; the trailing blank belongs to it.
constexpr const char* kMainWindowTitleFormat = "TESTBAY %s based Application ";

}  // namespace testbay
