#include "automation/automation_com_server_win.h"

#include <objbase.h>

#include "automation/automation_dispatch_win.h"
#include "platform/stop_request.h"
#include "platform/text_win.h"

namespace testbay {

// {6F3C2A91-4B7E-4D2A-9C1F-0A5E8B7D3C21}
const CLSID kTestbayDocumentClsid = {0x6f3c2a91, 0x4b7e, 0x4d2a, {0x9c, 0x1f, 0x0a, 0x5e, 0x8b, 0x7d, 0x3c, 0x21}};

namespace {

constexpr UINT_PTR kIdleTimer = 1;
constexpr const wchar_t* kDocumentTypeName = L"Testba Document";

// Hands out one object; COM asks no more of a single-use factory, so the
// program ends with that object.
class DocumentFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory lives on the server's stack for the whole message loop.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (created_) return CO_E_SERVER_STOPPING;
        // The object's calls arrive on this thread, so its end ends the message loop.
        auto* document = new AutomationDispatch([] { PostQuitMessage(0); });
        const HRESULT status = document->QueryInterface(iid, object);
        document->Release();
        if (SUCCEEDED(status)) {
            created_ = true;
            KillTimer(nullptr, idleTimer_);
        }
        return status;
    }
    // The program's life is the one object's; a lock on the factory adds nothing.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    void SetIdleTimer(UINT_PTR timer) { idleTimer_ = timer; }

private:
    bool created_ = false;
    UINT_PTR idleTimer_ = 0;
};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

LSTATUS SetDefaultValue(HKEY root, const std::wstring& key, const std::wstring& value) {
    HKEY opened = nullptr;
    LSTATUS status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return status;
}

HKEY ClassesRoot(bool perUser, REGSAM access) {
    HKEY classes = nullptr;
    const LSTATUS status = RegCreateKeyExW(perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, L"Software\\Classes", 0,
                                           nullptr, 0, access, nullptr, &classes, nullptr);
    return status == ERROR_SUCCESS ? classes : nullptr;
}

// Dispatches the messages waiting; false once the server should end: on
// WM_QUIT, or when the idle timer (a window-less one) fires.
bool DispatchWaitingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT || (message.message == WM_TIMER && message.hwnd == nullptr)) return false;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

}  // namespace

int RunComServer(unsigned idleLimitMs) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    DocumentFactory factory;
    // A window-less timer: ends a server that COM started but nobody asked an object of.
    factory.SetIdleTimer(SetTimer(nullptr, kIdleTimer, idleLimitMs, nullptr));
    DWORD cookie = 0;
    const HRESULT registered =
        CoRegisterClassObject(kTestbayDocumentClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie);
    int status = 1;
    if (SUCCEEDED(registered)) {
        // A stop request (Ctrl+C, Ctrl+Break, the console closing) ends the
        // running call and then the loop.
        StopEndsCalls stopEndsCalls;
        HANDLE stop = static_cast<HANDLE>(StopRequestEvent());
        while (MsgWaitForMultipleObjectsEx(1, &stop, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0 &&
               DispatchWaitingMessages()) {
        }
        CoRevokeClassObject(cookie);
        status = 0;
    }
    // No CoUninitialize: the process ends next, and under Wine the apartment's
    // teardown waited for ever on a call it still counted after the client had
    // released the object and gone.
    return status;
}

bool RegisterComServer(const std::wstring& program, bool perUser, std::string& error) {
    HKEY classes = ClassesRoot(perUser, KEY_WRITE);
    if (!classes) {
        error = "cannot open Software\\Classes for writing";
        return false;
    }
    const std::wstring clsid = GuidText(kTestbayDocumentClsid);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring progId = kTestbayDocumentProgId;
    // The document type name, as the installer package writes it too.
    LSTATUS status = SetDefaultValue(classes, progId, kDocumentTypeName);
    if (status == ERROR_SUCCESS) status = SetDefaultValue(classes, progId + L"\\CLSID", clsid);
    if (status == ERROR_SUCCESS) status = SetDefaultValue(classes, classKey, kDocumentTypeName);
    if (status == ERROR_SUCCESS) {
        status = SetDefaultValue(classes, classKey + L"\\LocalServer32", L"\"" + program + L"\" -Automation");
    }
    if (status == ERROR_SUCCESS) status = SetDefaultValue(classes, classKey + L"\\ProgID", progId);
    RegCloseKey(classes);
    if (status != ERROR_SUCCESS) error = SystemMessage(status);
    return status == ERROR_SUCCESS;
}

bool UnregisterComServer(bool perUser, std::string& error) {
    HKEY classes = ClassesRoot(perUser, KEY_ALL_ACCESS);
    if (!classes) {
        error = "cannot open Software\\Classes for writing";
        return false;
    }
    LSTATUS status = ERROR_SUCCESS;
    for (const std::wstring& key :
         {std::wstring(kTestbayDocumentProgId), L"CLSID\\" + GuidText(kTestbayDocumentClsid)}) {
        const LSTATUS removed = RegDeleteTreeW(classes, key.c_str());
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) status = removed;
    }
    RegCloseKey(classes);
    if (status != ERROR_SUCCESS) error = SystemMessage(status);
    return status == ERROR_SUCCESS;
}

}  // namespace testbay
