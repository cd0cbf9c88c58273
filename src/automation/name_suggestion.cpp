#include "automation/name_suggestion.h"

#include <algorithm>
#include <cctype>

namespace testbay {
namespace {

constexpr size_t kLongestShownName = 64;

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Edit distance with swaps of neighbours (optimal string alignment).
size_t Distance(std::string_view a, std::string_view b) {
    const size_t columns = b.size() + 1;
    std::vector<size_t> previous2(columns), previous(columns), current(columns);
    for (size_t j = 0; j < columns; ++j) previous[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j < columns; ++j) {
            const bool same = Folded(a[i - 1]) == Folded(b[j - 1]);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && Folded(a[i - 1]) == Folded(b[j - 2]) && Folded(a[i - 2]) == Folded(b[j - 1])) {
                current[j] = std::min(current[j], previous2[j - 2] + 1);
            }
        }
        std::swap(previous2, previous);
        std::swap(previous, current);
    }
    return previous[b.size()];
}

}  // namespace

std::vector<std::string_view> NearestNames(std::string_view name, const std::vector<std::string_view>& candidates,
                                           size_t limit) {
    const size_t allowed = std::clamp<size_t>(name.size() / 4, 1, 3);
    size_t best = allowed + 1;
    std::vector<std::string_view> nearest;
    for (const std::string_view candidate : candidates) {
        // Lengths this far apart are never near: a long name costs nothing.
        const size_t apart =
            name.size() > candidate.size() ? name.size() - candidate.size() : candidate.size() - name.size();
        if (apart > allowed) continue;
        const size_t distance = Distance(name, candidate);
        if (distance > allowed || distance > best) continue;
        if (distance < best) {
            best = distance;
            nearest.clear();
        }
        nearest.push_back(candidate);
    }
    if (nearest.size() > limit) nearest.resize(limit);
    return nearest;
}

std::string UnknownNameText(std::string_view name, const std::vector<std::string_view>& nearest) {
    std::string text = "Unknown name \"";
    text +=
        name.size() > kLongestShownName ? std::string(name.substr(0, kLongestShownName)) + "..." : std::string(name);
    text += '"';
    for (size_t index = 0; index < nearest.size(); ++index) {
        text += index == 0 ? "; did you mean " : index + 1 == nearest.size() ? " or " : ", ";
        text += nearest[index];
    }
    if (!nearest.empty()) text += '?';
    return text;
}

}  // namespace testbay
