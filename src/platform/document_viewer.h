#pragma once

#include <string>

namespace testbay {

// Hands `file` to the viewer the user's desktop has for its kind, at the
// section `anchor` where the viewer takes one ("" for the start). Returns at
// once without waiting for the viewer; false when none could be started.
bool OpenInViewer(const std::string& file, const std::string& anchor);

}  // namespace testbay
