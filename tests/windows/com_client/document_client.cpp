#include "document_client.h"

namespace testbay::com_client {

HRESULT CreateDocument(IDispatch** object) {
    CLSID clsid;
    const HRESULT status = CLSIDFromProgID(L"Testbay.Document", &clsid);
    if (FAILED(status)) return status;
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(object));
}

HRESULT CallByName(IDispatch& object, const wchar_t* name, VARIANT* args, UINT count, VARIANT& result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT found = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    DISPPARAMS params{args, nullptr, count, 0};
    VariantInit(&result);
    return object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
}

}  // namespace testbay::com_client
