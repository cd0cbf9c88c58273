#include "app/serial_setup.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "app/help.h"
#include "settings/settings.h"
#include "settings/settings_index.h"
#include "comm/channel.h"
#include "comm/port_mapping.h"
#include "platform/folders.h"
#include "platform/network_port.h"
#include "platform/serial_device.h"
#include "platform/serial_device_list.h"

namespace testbay {
namespace {

constexpr int32_t kBusyText = 2;

bool SortsBefore(const SerialPortChoice& a, const SerialPortChoice& b) {
    return strcasecmp(a.text.c_str(), b.text.c_str()) < 0;
}

bool OpensExclusively(const SerialPortChoice& choice) {
    if (choice.comNumber > 0) {
        int channel = -1;
        if (!ComOpen(choice.comNumber, channel)) return false;
        ComClose(channel);
        return true;
    }
    SerialDevice device;
    return device.Open(choice.devicePath, LineSettings{}) == 0;
}

}  // namespace

const LanguageText SerialSetup::kTexts[] = {
    {0, "Einstellungen zur Verbindungsaufnahme", "Setup Serial Connection"},
    {1, "Schnittstelle auswählen", "Select Serial Port"},
    {2, "Hinweis: Diese Schnittstelle ist gegenwärtig von einer anderen Applikation geöffnet",
     "This serial port is currently used by another application."},
    {3, "&Abbruch", "&Cancel"},
    {4, "&Hilfe", "&Help"},
    {kEndOfTexts, "", ""},
};

void SerialSetup::Open() { Open(PresentSerialDevices()); }

void SerialSetup::Open(const std::vector<std::string>& presentDevices) {
    choices_.clear();
    std::set<int> numbers;
    std::set<std::string> reached;
    for (const auto& [number, path] : MappedComPorts()) {
        if (!numbers.insert(number).second) continue;
        // A network port shows where it leads: no device list names it.
        const std::string address = IsNetworkPortPath(path) ? " (" + path + ")" : "";
        choices_.push_back({"COM" + std::to_string(number) + address, number, path});
        reached.insert(CanonicalPath(path));
    }
    for (const std::string& device : presentDevices) {
        if (reached.count(CanonicalPath(device))) continue;
        const int number = DefaultComNumber(device);
        if (number > 0 && numbers.insert(number).second) {
            choices_.push_back({"COM" + std::to_string(number), number, device});
        } else {
            choices_.push_back({device, 0, device});
        }
    }
    std::stable_sort(choices_.begin(), choices_.end(), SortsBefore);

    const int stored = ReadIniInt(settings::kComPort.section, settings::kComPort.key, settings::kComPort.defaultValue,
                                  settings::kProgramFile);
    const std::string prefix = "COM" + std::to_string(stored);
    const auto preselected = std::find_if(choices_.begin(), choices_.end(), [&](const SerialPortChoice& choice) {
        return strncasecmp(choice.text.c_str(), prefix.c_str(), prefix.size()) == 0;
    });
    Select(preselected == choices_.end() ? -1 : static_cast<int>(preselected - choices_.begin()));
}

void SerialSetup::Select(int index) {
    selection_ = index >= 0 && static_cast<size_t>(index) < choices_.size() ? index : -1;
    CheckAvailability();
}

void SerialSetup::CheckAvailability() {
    statusText_.clear();
    if (selection_ < 0) return;
    if (!OpensExclusively(choices_[static_cast<size_t>(selection_)])) {
        statusText_ = GetLanguageText(kTexts, kBusyText);
    }
}

int SerialSetup::FreeComNumber() const {
    std::set<int> taken;
    for (const SerialPortChoice& choice : choices_) taken.insert(choice.comNumber);
    for (const auto& mapped : MappedComPorts()) taken.insert(mapped.first);
    int number = 1;
    while (taken.count(number)) ++number;
    return number;
}

bool SerialSetup::Ok() {
    if (selection_ < 0) return false;
    SerialPortChoice& choice = choices_[static_cast<size_t>(selection_)];
    if (choice.comNumber == 0) {
        const int number = FreeComNumber();
        if (!MapComPort(number, choice.devicePath)) return false;
        choice.comNumber = number;
    }
    return WriteIniInt(settings::kComPort.section, settings::kComPort.key, choice.comNumber, settings::kProgramFile) !=
           0;
}

std::string SerialSetup::Help() const { return ShowHelp(kHelpTopic); }

}  // namespace testbay
