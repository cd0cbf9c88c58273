#include "automation/automation_dispatch_win.h"

#include <oleauto.h>

#include <string>
#include <vector>

#include "automation/automation_arguments.h"
#include "automation/automation_methods.h"
#include "automation/automation_type_info_win.h"
#include "comm/com_exception.h"
#include "platform/stop_request.h"
#include "platform/text_win.h"

namespace testbay {
namespace {

constexpr const wchar_t* kSource = L"Testbay.Document";

// A client argument with its by-reference layers looked through.
const VARIANT& Referenced(const VARIANT& argument) {
    if (V_VT(&argument) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&argument)) return *V_VARIANTREF(&argument);
    return argument;
}

std::string BstrText(BSTR text) { return text ? NarrowText(std::wstring(text, SysStringLen(text))) : std::string(); }

BSTR NewBstr(const std::string& text) {
    const std::wstring wide = WideText(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

DispatchArgument ReadArgument(const VARIANT& passed) {
    const VARIANT& argument = Referenced(passed);
    const bool byReference = (V_VT(&argument) & VT_BYREF) != 0;
    DispatchArgument read;
    switch (V_VT(&argument) & ~VT_BYREF) {
    case VT_EMPTY: break;
    case VT_I2:
        read.kind = DispatchArgument::Kind::Integer;
        read.integer = byReference ? *V_I2REF(&argument) : V_I2(&argument);
        break;
    case VT_I4:
        read.kind = DispatchArgument::Kind::Integer;
        read.integer = byReference ? *V_I4REF(&argument) : V_I4(&argument);
        break;
    case VT_R8:
        read.kind = DispatchArgument::Kind::Real;
        read.real = byReference ? *V_R8REF(&argument) : V_R8(&argument);
        break;
    case VT_BOOL:
        read.kind = DispatchArgument::Kind::Boolean;
        read.integer = (byReference ? *V_BOOLREF(&argument) : V_BOOL(&argument)) ? -1 : 0;
        break;
    case VT_BSTR:
        read.kind = DispatchArgument::Kind::Text;
        read.text = BstrText(byReference ? *V_BSTRREF(&argument) : V_BSTR(&argument));
        break;
    default: read.kind = DispatchArgument::Kind::Unsupported;
    }
    return read;
}

// An output in the variant type of its parameter kind.
void SetVariant(VARIANT& target, const AutomationValue& value, ParamType type) {
    VariantInit(&target);
    switch (type) {
    case ParamType::BoolRef:
        V_VT(&target) = VT_BOOL;
        V_BOOL(&target) = std::get<int32_t>(value) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case ParamType::DoubleRef:
        V_VT(&target) = VT_R8;
        V_R8(&target) = std::get<double>(value);
        break;
    case ParamType::StringRef:
        V_VT(&target) = VT_BSTR;
        V_BSTR(&target) = NewBstr(std::get<std::string>(value));
        break;
    default: V_VT(&target) = VT_I4; V_I4(&target) = std::get<int32_t>(value);
    }
}

// Writes an output into the caller's variable: a variant variable takes the
// output's own type, a typed one keeps its type.
void WriteBack(VARIANT& passed, const AutomationValue& value, ParamType type) {
    if ((V_VT(&passed) & VT_BYREF) == 0) return;
    VARIANT output;
    SetVariant(output, value, type);
    if (V_VT(&passed) == (VT_BYREF | VT_VARIANT)) {
        VARIANT& variable = *V_VARIANTREF(&passed);
        if ((V_VT(&variable) & VT_BYREF) == 0) {
            VariantClear(&variable);
            variable = output;
            return;
        }
        WriteBack(variable, value, type);
        VariantClear(&output);
        return;
    }
    const VARTYPE kind = V_VT(&passed) & ~VT_BYREF;
    VARIANT converted;
    VariantInit(&converted);
    if (SUCCEEDED(VariantChangeType(&converted, &output, 0, kind))) {
        switch (kind) {
        case VT_I2: *V_I2REF(&passed) = V_I2(&converted); break;
        case VT_I4: *V_I4REF(&passed) = V_I4(&converted); break;
        case VT_R8: *V_R8REF(&passed) = V_R8(&converted); break;
        case VT_BOOL: *V_BOOLREF(&passed) = V_BOOL(&converted); break;
        case VT_BSTR:
            SysFreeString(*V_BSTRREF(&passed));
            *V_BSTRREF(&passed) = V_BSTR(&converted);
            V_BSTR(&converted) = nullptr;
            break;
        default: break;
        }
    }
    VariantClear(&converted);
    VariantClear(&output);
}

void SetResult(VARIANT& result, const AutomationResult& value, ReturnType type) {
    VariantInit(&result);
    if (type == ReturnType::String) {
        const auto& text = std::get<std::optional<std::string>>(value);
        V_VT(&result) = VT_BSTR;
        V_BSTR(&result) = text ? NewBstr(*text) : nullptr;
    } else if (type == ReturnType::Bool) {
        V_VT(&result) = VT_BOOL;
        V_BOOL(&result) = std::get<int32_t>(value) ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        V_VT(&result) = VT_I4;
        V_I4(&result) = std::get<int32_t>(value);
    }
}

HRESULT Raise(EXCEPINFO* exception, const std::string& text, HRESULT code) {
    if (exception) {
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(kSource);
        exception->bstrDescription = NewBstr(text);
        exception->scode = code;
    }
    return DISP_E_EXCEPTION;
}

// Arguments come last to first; the position given back counts in that order.
UINT ArgumentSlot(const DISPPARAMS& params, size_t index) { return params.cArgs - 1 - static_cast<UINT>(index); }

}  // namespace

AutomationDispatch::AutomationDispatch(std::function<void()> onFinalRelease)
    : onFinalRelease_(std::move(onFinalRelease)) {}

AutomationDispatch::~AutomationDispatch() = default;

HRESULT AutomationDispatch::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kTestbayDispatchIid)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG AutomationDispatch::AddRef() { return ++references_; }

ULONG AutomationDispatch::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        const std::function<void()> onFinalRelease = std::move(onFinalRelease_);
        delete this;
        if (onFinalRelease) onFinalRelease();
    }
    return left;
}

HRESULT AutomationDispatch::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT AutomationDispatch::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!typeInfo_) {
        const HRESULT status = CreateAutomationTypeInfo(&typeInfo_);
        if (FAILED(status)) return status;
    }
    return typeInfo_.CopyTo(info);
}

HRESULT AutomationDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    const AutomationMethod* method = names[0] ? FindAutomationMethod(NarrowText(names[0])) : nullptr;
    ids[0] = method ? DispIdOf(*method) : DISPID_UNKNOWN;
    // The methods take their arguments by position only.
    for (UINT index = 1; index < count; ++index) ids[index] = DISPID_UNKNOWN;
    return method && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT AutomationDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) {
    const auto& methods = AutomationMethods();
    if (id < 1 || static_cast<size_t>(id) > methods.size()) return DISP_E_MEMBERNOTFOUND;
    // Scripts may read a method without arguments as a property.
    if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    const AutomationMethod& method = methods[static_cast<size_t>(id - 1)];
    if (params->cArgs > method.params.size()) return DISP_E_BADPARAMCOUNT;

    std::vector<AutomationValue> values;
    for (size_t index = 0; index < method.params.size(); ++index) {
        const ParamType type = method.params[index];
        if (index >= params->cArgs) {
            // Trailing outputs may be left out, as over JSON-RPC.
            if (!IsByReference(type)) return DISP_E_BADPARAMCOUNT;
            values.push_back(OmittedByReference(type));
            continue;
        }
        try {
            values.push_back(
                ConvertDispatchArgument(ReadArgument(params->rgvarg[ArgumentSlot(*params, index)]), type, index + 1));
        } catch (const AutomationParamError&) {
            if (argumentError) *argumentError = ArgumentSlot(*params, index);
            return DISP_E_TYPEMISMATCH;
        }
    }

    CallArgs args(std::move(values));
    AutomationResult returned;
    try {
        returned = method.call(document_, args);
    } catch (const AutomationParamError& error) {
        if (argumentError && error.position >= 1 && error.position <= params->cArgs) {
            *argumentError = ArgumentSlot(*params, error.position - 1);
        }
        return Raise(exception, "parameter " + std::to_string(error.position) + ": " + error.message, E_INVALIDARG);
    } catch (const CComExeption& error) {
        return Raise(exception, error.Message(), E_FAIL);
    } catch (const CallStopped& error) {
        return Raise(exception, error.what(), E_ABORT);
    }
    for (size_t index = 0; index < params->cArgs; ++index) {
        if (IsByReference(method.params[index])) {
            WriteBack(params->rgvarg[ArgumentSlot(*params, index)], args.Values()[index], method.params[index]);
        }
    }
    if (result) SetResult(*result, returned, method.returns);
    return S_OK;
}

}  // namespace testbay
