#pragma once

#include <functional>
#include <string>

namespace testbay {

// A place in the program's documentation: a file and a section of it.
struct HelpPage {
    std::string file;    // "" when no documentation lies with the program
    std::string anchor;  // the section's anchor; "" for the file's start
    bool operator==(const HelpPage&) const = default;
};

// The anchor a Markdown viewer gives a heading: lower case, blanks as '-',
// other punctuation dropped ("Pointing it at a real relay" gives
// "pointing-it-at-a-real-relay").
std::string HeadingAnchor(const std::string& heading);
// The README heading a window's help topic stands for; "" for a topic
// without a section of its own.
std::string HelpHeading(const std::string& topic);
// The README that lies with a program in `programFolder` and the section
// for `topic`: beside the program (README.txt of a Windows installation, or
// the source's README.md in a build tree), else below the prefix of a Linux
// installation. Plain text has no sections.
HelpPage FindHelpPage(const std::string& topic, const std::string& programFolder);

using HelpViewer = std::function<bool(const HelpPage&)>;

// What the windows' Help buttons open, and with what.
class HelpDisplay {
public:
    // The running program's documentation in the system's viewer.
    HelpDisplay();
    HelpDisplay(std::string programFolder, HelpViewer viewer);

    // "" when the viewer started, else why the help cannot be shown.
    std::string Show(const std::string& topic) const;

private:
    std::string programFolder_;
    HelpViewer viewer_;
};

// The display ShowHelp uses from now on; returns the one it replaces, so that
// a test can put a recorder in place of the viewer and restore it after.
HelpDisplay UseHelpDisplay(HelpDisplay display);

// Windows hand their help topic ("settings.html", …) to this one display
// operation, and tell the user the text it returns when that is not "".
std::string ShowHelp(const std::string& topic);

}  // namespace testbay
