#include "platform/document_viewer.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/text_win.h"

namespace testbay {

// Windows' "open" verb takes a file, not a section of it: the anchor stays
// unused (the installed README is plain text).
bool OpenInViewer(const std::string& file, const std::string& /*anchor*/) {
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", WideText(file).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace testbay
