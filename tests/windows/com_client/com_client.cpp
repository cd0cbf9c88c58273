// A COM client of "Testbay.Document" for the tests under Wine: "create"
// creates the object by its ProgID and calls it by name; "types" reads its
// type information and checks every method against the method table;
// "absent" expects no such class. Exit status 0 when all went as expected.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "automation/automation_methods.h"
#include "automation/automation_type_info_win.h"
#include "platform/text_win.h"
#include "com_client/document_client.h"

namespace {

using Microsoft::WRL::ComPtr;
using testbay::AutomationMethods;
using testbay::com_client::CallByName;
using testbay::com_client::CreateDocument;

int Fail(const char* what, HRESULT status) {
    std::printf("%s failed: 0x%08lx\n", what, static_cast<unsigned long>(status));
    return 1;
}

int Create() {
    IDispatch* object = nullptr;
    HRESULT status = CreateDocument(&object);
    if (FAILED(status)) return Fail("CoCreateInstance", status);

    int failures = 0;
    VARIANT result;
    status = CallByName(*object, L"gettestbayversion", nullptr, 0, result);
    if (FAILED(status) || V_VT(&result) != VT_BSTR) {
        failures += Fail("GetTestbayVersion", status);
    } else {
        std::printf("GetTestbayVersion %ls\n", V_BSTR(&result));
    }
    VariantClear(&result);

    // Without a relay the call fails quietly and leaves the caller's count alone.
    LONG count = 16;
    VARIANT byReference;
    VariantInit(&byReference);
    V_VT(&byReference) = VT_BYREF | VT_I4;
    V_I4REF(&byReference) = &count;
    status = CallByName(*object, L"GetLedCount", &byReference, 1, result);
    if (status != S_OK || V_VT(&result) != VT_BOOL || V_BOOL(&result) != VARIANT_FALSE || count != 16) {
        failures += Fail("GetLedCount", status);
    }
    status = CallByName(*object, L"NoSuchMethod", nullptr, 0, result);
    if (status != DISP_E_UNKNOWNNAME) failures += Fail("NoSuchMethod", status);
    status = CallByName(*object, L"SetLed", nullptr, 0, result);
    if (status != DISP_E_BADPARAMCOUNT) failures += Fail("SetLed", status);
    object->Release();
    return failures == 0 ? 0 : 1;
}

// A type in the words of the method table: long, double, BOOL or string,
// with a star when passed by reference.
std::string TableWord(const TYPEDESC& type, USHORT flags) {
    if (type.vt == VT_PTR && type.lptdesc) {
        const bool inOut = (flags & (PARAMFLAG_FIN | PARAMFLAG_FOUT)) == (PARAMFLAG_FIN | PARAMFLAG_FOUT);
        return TableWord(*type.lptdesc, 0) + (inOut ? "*" : "* without in/out");
    }
    switch (type.vt) {
    case VT_I4: return "long";
    case VT_R8: return "double";
    case VT_BOOL: return "BOOL";
    case VT_BSTR: return "string";
    default: return "type " + std::to_string(type.vt);
    }
}

// Every function of the type information against the method of its
// dispatch identifier: name, parameter types, return type; and every method
// described once.
int CheckFunctions(ITypeInfo& info, const TYPEATTR& attributes) {
    const auto& methods = AutomationMethods();
    int failures = 0;
    std::set<MEMBERID> described;
    for (UINT index = 0; index < attributes.cFuncs; ++index) {
        FUNCDESC* function = nullptr;
        HRESULT status = info.GetFuncDesc(index, &function);
        if (FAILED(status)) return Fail("GetFuncDesc", status);
        const MEMBERID id = function->memid;
        // The functions a dispatch interface inherits from IDispatch.
        if (function->wFuncFlags & FUNCFLAG_FRESTRICTED) {
            info.ReleaseFuncDesc(function);
            continue;
        }
        if (id < 1 || static_cast<size_t>(id) > methods.size() || !described.insert(id).second) {
            std::printf("function %u: unexpected dispatch identifier %ld\n", index, static_cast<long>(id));
            ++failures;
            info.ReleaseFuncDesc(function);
            continue;
        }
        const testbay::AutomationMethod& method = methods[static_cast<size_t>(id - 1)];
        // The method's name, then its parameters' names.
        std::vector<BSTR> names(method.params.size() + 1, nullptr);
        UINT named = 0;
        status = info.GetNames(id, names.data(), static_cast<UINT>(names.size()), &named);
        std::string described_name;
        for (UINT position = 0; SUCCEEDED(status) && position < named; ++position) {
            described_name += (position == 0 ? "" : position == 1 ? "(" : ", ") + testbay::NarrowText(names[position]);
            SysFreeString(names[position]);
        }
        if (named > 1) described_name += ")";
        std::string expected_name = method.name;
        for (size_t position = 0; position < method.paramNames.size(); ++position) {
            expected_name += std::string(position ? ", " : "(") + method.paramNames[position];
        }
        if (!method.paramNames.empty()) expected_name += ")";
        std::string types;
        for (SHORT position = 0; position < function->cParams; ++position) {
            const ELEMDESC& param = function->lprgelemdescParam[position];
            types += (position ? ", " : "") + TableWord(param.tdesc, param.paramdesc.wParamFlags);
        }
        std::string expected;
        for (size_t position = 0; position < method.params.size(); ++position) {
            expected += std::string(position ? ", " : "") + testbay::ParamTypeName(method.params[position]);
        }
        const std::string returns = TableWord(function->elemdescFunc.tdesc, 0);
        if (described_name != expected_name || types != expected ||
            returns != testbay::ReturnTypeName(method.returns) || function->funckind != FUNC_DISPATCH ||
            function->invkind != INVOKE_FUNC) {
            std::printf("%ld: %s [%s] %s, the table has %s [%s] %s\n", static_cast<long>(id), described_name.c_str(),
                        types.c_str(), returns.c_str(), expected_name.c_str(), expected.c_str(),
                        testbay::ReturnTypeName(method.returns));
            ++failures;
        }
        info.ReleaseFuncDesc(function);
    }
    if (described.size() != methods.size()) {
        std::printf("%zu of %zu methods described\n", described.size(), methods.size());
        ++failures;
    }
    return failures;
}

int Types() {
    ComPtr<IDispatch> object;
    HRESULT status = CreateDocument(&object);
    if (FAILED(status)) return Fail("CoCreateInstance", status);
    UINT count = 0;
    status = object->GetTypeInfoCount(&count);
    if (FAILED(status) || count != 1) return Fail("GetTypeInfoCount", status);
    ComPtr<ITypeInfo> info;
    status = object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    if (FAILED(status)) return Fail("GetTypeInfo", status);
    TYPEATTR* attributes = nullptr;
    status = info->GetTypeAttr(&attributes);
    if (FAILED(status)) return Fail("GetTypeAttr", status);
    int failures = 0;
    if (attributes->typekind != TKIND_DISPATCH || !IsEqualGUID(attributes->guid, testbay::kTestbayDispatchIid)) {
        std::printf("not our dispatch interface: kind %d\n", attributes->typekind);
        ++failures;
    }
    failures += CheckFunctions(*info.Get(), *attributes);
    info->ReleaseTypeAttr(attributes);
    if (failures == 0) std::printf("%zu methods as in the table\n", AutomationMethods().size());
    return failures == 0 ? 0 : 1;
}

int Absent() {
    ComPtr<IDispatch> object;
    if (FAILED(CreateDocument(&object))) return 0;
    std::printf("the object is still there\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const char* mode = argv[1];
    const int status = std::strcmp(mode, "create") == 0   ? Create()
                       : std::strcmp(mode, "types") == 0  ? Types()
                       : std::strcmp(mode, "absent") == 0 ? Absent()
                                                          : 2;
    CoUninitialize();
    return status;
}
