#include "app/help.h"

#include <cctype>
#include <filesystem>
#include <utility>

#include "platform/document_viewer.h"
#include "platform/folders.h"

namespace testbay {
namespace {

struct TopicHeading {
    const char* topic;
    const char* heading;
};

// The serial connection dialog asks which device a COM<n> is; the
// communication tests are explained with the window.
constexpr TopicHeading kTopicHeadings[] = {
    {"settings.html", "Pointing it at a real relay"},
    {"comm_tests.html", "The desktop window"},
};

// Relative to the program's folder, in the order they are looked for.
constexpr const char* kReadmePlaces[] = {"README.txt", "README.md", "../share/doc/testbay/README.md"};

bool IsMarkdown(const std::string& file) { return file.size() > 3 && file.compare(file.size() - 3, 3, ".md") == 0; }

HelpDisplay& CurrentDisplay() {
    static HelpDisplay display;
    return display;
}

}  // namespace

std::string HeadingAnchor(const std::string& heading) {
    std::string anchor;
    for (const unsigned char c : heading) {
        if (std::isalnum(c) || c == '-' || c == '_') {
            anchor += static_cast<char>(std::tolower(c));
        } else if (c == ' ') {
            anchor += '-';
        }
    }
    return anchor;
}

std::string HelpHeading(const std::string& topic) {
    for (const TopicHeading& entry : kTopicHeadings) {
        if (topic == entry.topic) return entry.heading;
    }
    return {};
}

HelpPage FindHelpPage(const std::string& topic, const std::string& programFolder) {
    if (programFolder.empty()) return {};
    for (const char* place : kReadmePlaces) {
        const std::filesystem::path candidate = std::filesystem::path(programFolder + place).lexically_normal();
        std::error_code error;
        if (!std::filesystem::is_regular_file(candidate, error)) continue;
        HelpPage page{candidate.string(), {}};
        if (IsMarkdown(page.file)) page.anchor = HeadingAnchor(HelpHeading(topic));
        return page;
    }
    return {};
}

HelpDisplay::HelpDisplay()
    : HelpDisplay(ProgramFolder(), [](const HelpPage& page) { return OpenInViewer(page.file, page.anchor); }) {}

HelpDisplay::HelpDisplay(std::string programFolder, HelpViewer viewer)
    : programFolder_(std::move(programFolder)), viewer_(std::move(viewer)) {}

std::string HelpDisplay::Show(const std::string& topic) const {
    const HelpPage page = FindHelpPage(topic, programFolder_);
    if (page.file.empty()) return "The help cannot be shown: no README lies with the program in " + programFolder_;
    if (!viewer_(page)) return "The help cannot be shown: no viewer could be started for " + page.file;
    return {};
}

HelpDisplay UseHelpDisplay(HelpDisplay display) { return std::exchange(CurrentDisplay(), std::move(display)); }

std::string ShowHelp(const std::string& topic) { return CurrentDisplay().Show(topic); }

}  // namespace testbay
