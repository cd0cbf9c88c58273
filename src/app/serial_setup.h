#pragma once

#include <string>
#include <vector>

#include "settings/language.h"

namespace testbay {

// One choice of the port list: a "COM<n>" name (with the address of a
// network port), or the path of a present device that no "COM<n>" reaches
// yet (choosing it maps a free number).
struct SerialPortChoice {
    std::string text;
    int comNumber = 0;  // 0 for a device listed by its path
    std::string devicePath;
};

// The logic of the serial connection dialog: the sorted port list, the
// preselection of the stored "ComPort", the availability check and storing
// the choice.
class SerialSetup {
public:
    static const LanguageText kTexts[];
    static constexpr const char* kHelpTopic = "settings.html";

    // Fills the list from the "Ports" mappings and the present devices,
    // preselects the stored port and checks it.
    void Open(const std::vector<std::string>& presentDevices);
    void Open();

    const std::vector<SerialPortChoice>& Choices() const { return choices_; }
    // Index into Choices(), or -1.
    int Selection() const { return selection_; }
    // Selects and checks a choice; -1 clears the selection.
    void Select(int index);
    // Empty, or the note that another application holds the port.
    const std::string& StatusText() const { return statusText_; }

    // Stores the choice as "ComPort" (mapping a device first when needed);
    // false when nothing is selected or the store failed.
    bool Ok();
    std::string Help() const;

private:
    void CheckAvailability();
    int FreeComNumber() const;

    std::vector<SerialPortChoice> choices_;
    int selection_ = -1;
    std::string statusText_;
};

}  // namespace testbay
