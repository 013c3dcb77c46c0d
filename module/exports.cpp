// The module's exports (by name and ordinal, VELDORINCTL.def) and its entry
// point.
#include <windows.h>

#include <objbase.h>
#include <olectl.h>

#include "win32/entry_barrier.h"
#include "framework/control_module.h"
#include "module/self_registration.h"

STDAPI DllCanUnloadNow() {
    return ComEntry([] { return AfxDllCanUnloadNow(); });
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return ComEntry([&] { return AfxDllGetClassObject(rclsid, riid, ppv); });
}

STDAPI DllRegisterServer() {
    return ComEntry([] { return RegisterServer(); });
}

STDAPI DllUnregisterServer() {
    return ComEntry([] { return UnregisterServer(); });
}

STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    return ComEntry([&] { return InstallServer(install != FALSE, commandLine); });
}

// Reached after the C++ runtime has built the module's static objects (the
// module object and the two factories) on process attach.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return AfxDllProcessAttach(instance);
        case DLL_PROCESS_DETACH:
            AfxDllProcessDetach();
            return TRUE;
        default:
            return TRUE;
    }
}
