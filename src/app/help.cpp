#include "app/help.h"

#include <mutex>

namespace testbay {
namespace {
std::mutex g_mutex;
HelpDisplay g_display;
}  // namespace

void SetHelpDisplay(HelpDisplay display) {
    std::lock_guard lock(g_mutex);
    g_display = std::move(display);
}

void ShowHelp(const std::string& topic) {
    HelpDisplay display;
    {
        std::lock_guard lock(g_mutex);
        display = g_display;
    }
    if (display) display(topic);
}

}  // namespace testbay
