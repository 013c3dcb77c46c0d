#include "framework/module_state.h"

#include <atomic>

// The linker places this at the start of the image of whichever module the
// framework is linked into; its address is that module's instance handle.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::atomic<long> liveObjects{0};
std::mutex factoryListLock;  // constant-initialised: safe for static objects
COleControlModule* theModule = nullptr;

}  // namespace

HINSTANCE AfxGetInstanceHandle() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

void AfxOleLockApp() {
    liveObjects.fetch_add(1, std::memory_order_relaxed);
}

void AfxOleUnlockApp() {
    liveObjects.fetch_sub(1, std::memory_order_acq_rel);
}

long AfxOleLiveObjectCount() {
    return liveObjects.load(std::memory_order_acquire);
}

std::mutex& AfxFactoryListLock() {
    return factoryListLock;
}

COleControlModule* AfxGetModule() {
    return theModule;
}

void AfxSetModule(COleControlModule* module) {
    theModule = module;
}
