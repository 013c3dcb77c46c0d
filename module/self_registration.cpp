#include "module/self_registration.h"

#include <olectl.h>

#include "framework/module_state.h"
#include "framework/object_factory.h"
#include "framework/typelib_registration.h"
#include "module/component_categories.h"
#include "resources/guids.h"

HRESULT RegisterServer() {
    if (!AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_VELDORINCTLLib)) return SELFREG_E_TYPELIB;
    if (!COleObjectFactory::UpdateRegistryAll(TRUE)) return SELFREG_E_CLASS;
    if (FAILED(RegisterComponentCategory(CATID_SafeForScripting, L"Controls that are safely scriptable"))) {
        return SELFREG_E_CLASS;
    }
    if (FAILED(RegisterComponentCategory(CATID_SafeForInitializing,
                                         L"Controls safely initializable from persistent data"))) {
        return SELFREG_E_CLASS;
    }
    if (FAILED(RegisterClassInCategory(CLSID_VELDORINCTL, CATID_SafeForScripting))) return SELFREG_E_CLASS;
    if (FAILED(RegisterClassInCategory(CLSID_VELDORINCTL, CATID_SafeForInitializing))) return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT UnregisterServer() {
    if (!AfxOleUnregisterTypeLib(LIBID_VELDORINCTLLib, kVeldorinctlTypeLibMajor, kVeldorinctlTypeLibMinor, 0)) {
        return SELFREG_E_TYPELIB;
    }
    if (!COleObjectFactory::UpdateRegistryAll(FALSE)) return SELFREG_E_CLASS;
    return S_OK;
}
