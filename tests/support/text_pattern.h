#pragma once

#include <cctype>
#include <string>

namespace testbay::test {

// Whether `text` has the shape of `pattern`, where each '?' stands for one
// decimal digit and every other character for itself.
inline bool MatchesPattern(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t index = 0; index < text.size(); ++index) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[index])) != 0;
        if (pattern[index] == '?' ? !digit : pattern[index] != text[index]) return false;
    }
    return true;
}

}  // namespace testbay::test
