#pragma once

#include <windows.h>
#include <oleauto.h>

namespace testbay::com_client {

// Creates "Testbay.Document" by its ProgID in a server of its own.
HRESULT CreateDocument(IDispatch** object);

// Calls a method by name; `args` come last to first, as COM passes them.
HRESULT CallByName(IDispatch& object, const wchar_t* name, VARIANT* args, UINT count, VARIANT& result);

}  // namespace testbay::com_client
