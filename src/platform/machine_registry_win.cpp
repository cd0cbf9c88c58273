#include "platform/machine_registry.h"

#include <windows.h>

#include "platform/text_win.h"

namespace testbay {

bool WriteMachineRegistryString(const std::string& keyPath, const std::string& subkey, const std::string& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, WideText(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring text = WideText(value);
    const bool set = RegSetKeyValueW(key, WideText(subkey).c_str(), nullptr, REG_SZ, text.c_str(),
                                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

}  // namespace testbay
