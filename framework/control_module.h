// The module object of a control module, and the framework's side of the
// module's entry point and of its COM exports.
#pragma once

#include <windows.h>

class COleControlModule {
public:
    // Becomes the module's one module object.
    COleControlModule();
    virtual ~COleControlModule();
    COleControlModule(const COleControlModule&) = delete;
    COleControlModule& operator=(const COleControlModule&) = delete;

    // Makes every class factory of the module available; TRUE.
    virtual BOOL InitInstance();
    // Withdraws every class factory; the module's exit code, 0.
    virtual int ExitInstance();
};

// Process attach: runs the module object's InitInstance, and its
// ExitInstance when that fails. FALSE makes the load fail.
BOOL AfxDllProcessAttach(HINSTANCE instance);
// Process detach: runs the module object's ExitInstance.
void AfxDllProcessDetach();

// The answer of the first available factory for `clsid`; out-pointer null
// and CLASS_E_CLASSNOTAVAILABLE when there is none.
HRESULT AfxDllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
// S_FALSE while an object of the module lives, a container holds a lock on
// a factory, or anything references a factory; S_OK otherwise.
HRESULT AfxDllCanUnloadNow();
