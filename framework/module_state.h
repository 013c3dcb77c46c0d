// What the framework keeps once per module: the module's instance handle, its
// count of live objects (which decides DllCanUnloadNow), the lock of its
// class-factory list and its one module object.
#pragma once

#include <windows.h>

#include <mutex>

class COleControlModule;

// The instance handle of the module this code is linked into (the OCX, or a
// test program), valid from load on, before DllMain runs.
HINSTANCE AfxGetInstanceHandle();

// The module's live COM objects, and locks that containers hold on its class
// factories. Atomic: objects may be released on any thread.
void AfxOleLockApp();
void AfxOleUnlockApp();
long AfxOleLiveObjectCount();

// Guards the list of class factories (walks and changes).
std::mutex& AfxFactoryListLock();

// The module object; null until one is constructed.
COleControlModule* AfxGetModule();
void AfxSetModule(COleControlModule* module);
