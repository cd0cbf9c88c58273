#pragma once

#include <string>

namespace testbay {

// The program's 8-bit texts are in the ANSI code page, as the system's own
// "A" calls take them; the "W" calls get them converted.
std::wstring WideText(const std::string& text);
std::string NarrowText(const std::wstring& text);

// The system's text for an error code (GetLastError, Winsock), without its
// line end; "error <code>" when the system has none.
std::string SystemMessage(unsigned long error);

}  // namespace testbay
