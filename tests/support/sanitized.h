#pragma once

// TESTBAY_SANITIZED is defined in builds under AddressSanitizer, whose
// memory figures and exit checks are not the program's own.
#if defined(__SANITIZE_ADDRESS__)
#define TESTBAY_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESTBAY_SANITIZED 1
#endif
#endif
