#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>

#include "automation/automation_document.h"

namespace testbay {

// The automation object as COM clients see it: IDispatch over the method
// table, dispatch identifiers being table positions.
class AutomationDispatch final : public IDispatch {
public:
    // `onFinalRelease` runs when the last client reference goes.
    explicit AutomationDispatch(std::function<void()> onFinalRelease = {});
    AutomationDispatch(const AutomationDispatch&) = delete;
    AutomationDispatch& operator=(const AutomationDispatch&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    CTESTBAYDoc& Document() { return document_; }

private:
    ~AutomationDispatch();

    std::atomic<ULONG> references_{1};
    std::function<void()> onFinalRelease_;
    // Built on the first request for it.
    Microsoft::WRL::ComPtr<ITypeInfo> typeInfo_;
    CTESTBAYDoc document_;
};

}  // namespace testbay
