#pragma once

#include <windows.h>
#include <oaidl.h>

namespace testbay {

// Our own fixed identifier of the dispatch interface that describes the
// automation object's methods.
extern const IID kTestbayDispatchIid;

// The dispatch interface's type information, built from the method table:
// one function per method with its dispatch identifier, its parameter types
// (by-reference ones as in/out pointers) and its return type. The caller
// owns the reference it gets.
HRESULT CreateAutomationTypeInfo(ITypeInfo** info);

}  // namespace testbay
