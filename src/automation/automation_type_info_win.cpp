#include "automation/automation_type_info_win.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "automation/automation_methods.h"
#include "platform/text_win.h"

namespace testbay {

// {6F3C2A92-4B7E-4D2A-9C1F-0A5E8B7D3C21}
const IID kTestbayDispatchIid = {0x6f3c2a92, 0x4b7e, 0x4d2a, {0x9c, 0x1f, 0x0a, 0x5e, 0x8b, 0x7d, 0x3c, 0x21}};

namespace {

using Microsoft::WRL::ComPtr;

// {6F3C2A93-4B7E-4D2A-9C1F-0A5E8B7D3C21}
const GUID kTypeLibraryGuid = {0x6f3c2a93, 0x4b7e, 0x4d2a, {0x9c, 0x1f, 0x0a, 0x5e, 0x8b, 0x7d, 0x3c, 0x21}};

VARTYPE VariantTypeOf(ParamType type) {
    switch (type) {
    case ParamType::Double:
    case ParamType::DoubleRef: return VT_R8;
    case ParamType::Bool:
    case ParamType::BoolRef: return VT_BOOL;
    case ParamType::String:
    case ParamType::StringRef: return VT_BSTR;
    default: return VT_I4;
    }
}

VARTYPE VariantTypeOf(ReturnType type) {
    switch (type) {
    case ReturnType::Bool: return VT_BOOL;
    case ReturnType::String: return VT_BSTR;
    default: return VT_I4;
    }
}

HRESULT AddMethod(ICreateTypeInfo& info, UINT index, const AutomationMethod& method) {
    const size_t count = method.params.size();
    std::vector<TYPEDESC> pointedTo(count);
    std::vector<ELEMDESC> params(count);
    for (size_t position = 0; position < count; ++position) {
        const ParamType type = method.params[position];
        ELEMDESC& param = params[position];
        param = ELEMDESC{};
        if (IsByReference(type)) {
            pointedTo[position].vt = VariantTypeOf(type);
            param.tdesc.vt = VT_PTR;
            param.tdesc.lptdesc = &pointedTo[position];
            param.paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOUT;
        } else {
            param.tdesc.vt = VariantTypeOf(type);
            param.paramdesc.wParamFlags = PARAMFLAG_FIN;
        }
    }
    FUNCDESC function{};
    function.memid = DispIdOf(method);
    function.lprgelemdescParam = params.data();
    function.funckind = FUNC_DISPATCH;
    function.invkind = INVOKE_FUNC;
    function.callconv = CC_STDCALL;
    function.cParams = static_cast<SHORT>(count);
    function.elemdescFunc.tdesc.vt = VariantTypeOf(method.returns);
    HRESULT status = info.AddFuncDesc(index, &function);
    if (FAILED(status)) return status;

    // The names a script editor shows for the parameters; calls still pass them by position.
    std::vector<std::wstring> names{WideText(method.name)};
    for (const char* name : method.paramNames) names.push_back(WideText(name));
    std::vector<LPOLESTR> namePointers;
    for (std::wstring& name : names) namePointers.push_back(name.data());
    return info.SetFuncAndParamNames(index, namePointers.data(), static_cast<UINT>(namePointers.size()));
}

// A dispatch interface derives from IDispatch as the system's own type
// library describes it.
HRESULT DeriveFromIDispatch(ICreateTypeInfo& info) {
    ComPtr<ITypeLib> standard;
    HRESULT status = LoadTypeLib(L"stdole2.tlb", &standard);
    if (FAILED(status)) return status;
    ComPtr<ITypeInfo> dispatch;
    status = standard->GetTypeInfoOfGuid(IID_IDispatch, &dispatch);
    if (FAILED(status)) return status;
    HREFTYPE reference = 0;
    status = info.AddRefTypeInfo(dispatch.Get(), &reference);
    return SUCCEEDED(status) ? info.AddImplType(0, reference) : status;
}

}  // namespace

HRESULT CreateAutomationTypeInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    // Built in memory and never saved: the file name only names the library.
    ComPtr<ICreateTypeLib2> library;
    HRESULT status = CreateTypeLib2(SYS_WIN32, L"Testbay.tlb", &library);
    if (SUCCEEDED(status)) status = library->SetGuid(kTypeLibraryGuid);
    if (SUCCEEDED(status)) status = library->SetName(const_cast<LPOLESTR>(L"Testbay"));
    ComPtr<ICreateTypeInfo> created;
    if (SUCCEEDED(status))
        status = library->CreateTypeInfo(const_cast<LPOLESTR>(L"ITestbay"), TKIND_DISPATCH, &created);
    if (SUCCEEDED(status)) status = created->SetGuid(kTestbayDispatchIid);
    if (SUCCEEDED(status)) status = DeriveFromIDispatch(*created.Get());
    const auto& methods = AutomationMethods();
    for (UINT index = 0; SUCCEEDED(status) && index < methods.size(); ++index) {
        status = AddMethod(*created.Get(), index, methods[index]);
    }
    if (SUCCEEDED(status)) status = created->LayOut();
    if (FAILED(status)) return status;
    return created->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(info));
}

}  // namespace testbay
