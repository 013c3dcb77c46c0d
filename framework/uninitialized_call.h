// The answer to a script that calls a control no container has initialised.
#pragma once

#include <windows.h>

// What the error information of such a call says.
inline constexpr wchar_t kUninitializedCallDescription[] =
    L"The control must be initialised by its container first: place it in the page with an <object> element. "
    L"A control made by new ActiveXObject or CreateObject has no container and refuses every call.";

// Sets error information (IErrorInfo) for interface `iid` with that
// description, and returns E_UNEXPECTED, the call's result.
HRESULT RefuseUninitializedCall(REFIID iid);
