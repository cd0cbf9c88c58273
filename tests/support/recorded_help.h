#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/help.h"

namespace testbay::test {

// For one scope the windows' Help opens nothing: the pages it would hand to
// the system's viewer are kept in `pages`, and the README is looked for in
// `programFolder`.
class RecordedHelp {
public:
    explicit RecordedHelp(const std::string& programFolder)
        : previous_(UseHelpDisplay(HelpDisplay(programFolder, [this](const HelpPage& page) {
              pages.push_back(page);
              return true;
          }))) {}
    ~RecordedHelp() { UseHelpDisplay(std::move(previous_)); }
    RecordedHelp(const RecordedHelp&) = delete;
    RecordedHelp& operator=(const RecordedHelp&) = delete;

    std::vector<HelpPage> pages;

private:
    HelpDisplay previous_;
};

}  // namespace testbay::test
