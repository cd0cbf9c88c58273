// A COM client of "Testbay.Document" for the tests under Wine: "create"
// creates the object by its ProgID and calls it by name; "absent" expects no
// such class. Exit status 0 when all went as expected.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Fail(const char* what, HRESULT status) {
    std::printf("%s failed: 0x%08lx\n", what, static_cast<unsigned long>(status));
    return 1;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, VARIANT* args, UINT count, VARIANT& result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    DISPPARAMS params{args, nullptr, count, 0};
    VariantInit(&result);
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
}

int Create() {
    CLSID clsid;
    HRESULT status = CLSIDFromProgID(L"Testbay.Document", &clsid);
    if (FAILED(status)) return Fail("CLSIDFromProgID", status);
    IDispatch* object = nullptr;
    status = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(status)) return Fail("CoCreateInstance", status);

    int failures = 0;
    VARIANT result;
    status = CallByName(object, L"gettestbayversion", nullptr, 0, result);
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
    status = CallByName(object, L"GetLedCount", &byReference, 1, result);
    if (status != S_OK || V_VT(&result) != VT_BOOL || V_BOOL(&result) != VARIANT_FALSE || count != 16) {
        failures += Fail("GetLedCount", status);
    }
    status = CallByName(object, L"NoSuchMethod", nullptr, 0, result);
    if (status != DISP_E_UNKNOWNNAME) failures += Fail("NoSuchMethod", status);
    status = CallByName(object, L"SetLed", nullptr, 0, result);
    if (status != DISP_E_BADPARAMCOUNT) failures += Fail("SetLed", status);
    object->Release();
    return failures == 0 ? 0 : 1;
}

int Absent() {
    CLSID clsid;
    HRESULT status = CLSIDFromProgID(L"Testbay.Document", &clsid);
    if (SUCCEEDED(status)) {
        IDispatch* object = nullptr;
        status = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&object));
        if (SUCCEEDED(status)) {
            object->Release();
            std::printf("the object is still there\n");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = std::strcmp(argv[1], "create") == 0 ? Create() : std::strcmp(argv[1], "absent") == 0 ? Absent() : 2;
    CoUninitialize();
    return status;
}
