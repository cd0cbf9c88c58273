#include "platform/serial_device_list.h"

#include <windows.h>

#include <algorithm>

#include "platform/text_win.h"

namespace testbay {
namespace {

constexpr const char* kDevicePrefix = "\\\\.\\COM";

}  // namespace

// "\\.\COM<n>" reaches every port, also COM10 and above, which the bare name does not.
std::string DefaultComDevice(int comNumber) { return kDevicePrefix + std::to_string(comNumber); }

int DefaultComNumber(const std::string& device) {
    const std::string prefix = kDevicePrefix;
    if (device.size() <= prefix.size() || device.size() > prefix.size() + 5) return 0;
    if (CompareStringOrdinal(WideText(device.substr(0, prefix.size())).c_str(), -1, WideText(prefix).c_str(), -1,
                             TRUE) != CSTR_EQUAL) {
        return 0;
    }
    int number = 0;
    for (size_t index = prefix.size(); index < device.size(); ++index) {
        if (device[index] < '0' || device[index] > '9') return 0;
        number = number * 10 + (device[index] - '0');
    }
    return number;
}

std::vector<std::string> PresentSerialDevices() {
    std::vector<std::string> devices;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return devices;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        DWORD dataSize = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result =
            RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';  // registry strings need not be terminated
        const std::string port = NarrowText(data);
        if (port.empty()) continue;
        const int number = DefaultComNumber("\\\\.\\" + port);
        devices.push_back(number > 0 ? DefaultComDevice(number) : "\\\\.\\" + port);
    }
    RegCloseKey(key);
    std::sort(devices.begin(), devices.end());
    return devices;
}

}  // namespace testbay
