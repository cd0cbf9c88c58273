#pragma once

#include <windows.h>

#include <string>

namespace testbay {

// Our own fixed class identifier of "Testbay.Document".
extern const CLSID kTestbayDocumentClsid;
constexpr const wchar_t* kTestbayDocumentProgId = L"Testbay.Document";

// Serves one automation object to COM as a local server: a single-use class
// factory, a message loop until the client lets go of the object, or until
// `idleLimitMs` pass without a request for one. The exit status.
int RunComServer(unsigned idleLimitMs);

// Writes (or removes) the ProgID and the class with its LocalServer32 command
// "<program>" -Automation below Software\Classes of the machine, or of the
// user when `perUser`. False with the system's reason in `error`.
bool RegisterComServer(const std::wstring& program, bool perUser, std::string& error);
bool UnregisterComServer(bool perUser, std::string& error);

}  // namespace testbay
