// What DllRegisterServer and DllUnregisterServer do, step by step.
#pragma once

#include <windows.h>

// 0, SELFREG_E_TYPELIB or SELFREG_E_CLASS; stops at the first failure and
// leaves what earlier steps wrote.
HRESULT RegisterServer();
// 0, SELFREG_E_TYPELIB or SELFREG_E_CLASS. The component categories stay.
HRESULT UnregisterServer();
