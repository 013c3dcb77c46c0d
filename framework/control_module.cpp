#include "framework/control_module.h"

#include "framework/module_state.h"
#include "framework/object_factory.h"

COleControlModule::COleControlModule() {
    AfxSetModule(this);
}

COleControlModule::~COleControlModule() {
    if (AfxGetModule() == this) AfxSetModule(nullptr);
}

BOOL COleControlModule::InitInstance() {
    COleObjectFactory::RegisterAll();
    return TRUE;
}

int COleControlModule::ExitInstance() {
    COleObjectFactory::RevokeAll();
    return 0;
}

BOOL AfxDllProcessAttach(HINSTANCE instance) {
    // The framework knows its module by the image it is linked into; a
    // different handle here means it was linked into the wrong module.
    if (instance != AfxGetInstanceHandle()) return FALSE;
    COleControlModule* module = AfxGetModule();
    if (!module) return FALSE;
    if (!module->InitInstance()) {
        module->ExitInstance();
        return FALSE;
    }
    return TRUE;
}

void AfxDllProcessDetach() {
    if (COleControlModule* module = AfxGetModule()) module->ExitInstance();
}

HRESULT AfxDllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return COleObjectFactory::GetClassObject(clsid, riid, ppv);
}

HRESULT AfxDllCanUnloadNow() {
    if (AfxOleLiveObjectCount() > 0) return S_FALSE;
    return COleObjectFactory::AnyFactoryInUse() ? S_FALSE : S_OK;
}
