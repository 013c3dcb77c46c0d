// What DllRegisterServer, DllUnregisterServer and DllInstall do, step by step.
#pragma once

#include <windows.h>

enum class RegistrationScope { Machine, User };

// 0, SELFREG_E_TYPELIB or SELFREG_E_CLASS. Registers the type library, the
// classes and the control's component categories under HKEY_CLASSES_ROOT;
// when a step fails, what earlier steps wrote is removed again (the category
// definitions stay). For RegistrationScope::User the type library goes
// through RegisterTypeLibForUser, and the caller has pointed
// HKEY_CLASSES_ROOT at the user's classes.
HRESULT RegisterServer(RegistrationScope scope = RegistrationScope::Machine);
// 0, SELFREG_E_TYPELIB or SELFREG_E_CLASS: removes the type library and the
// classes, the classes even when the type library's removal failed (then
// SELFREG_E_TYPELIB). The component categories stay.
HRESULT UnregisterServer();
// DllInstall: `commandLine` "user" (regsvr32 /n /i:user) registers or
// unregisters for the current user alone, under
// HKEY_CURRENT_USER\Software\Classes; empty or "machine" does what
// DllRegisterServer or DllUnregisterServer does. Anything else:
// E_INVALIDARG.
HRESULT InstallServer(bool install, const wchar_t* commandLine);
