#include "framework/object_factory.h"

#include "framework/cmd_target.h"
#include "win32/entry_barrier.h"
#include "framework/module_state.h"

namespace {

// Constant-initialised, so factories built by other static constructors
// always find a valid (empty) list.
COleObjectFactory* factoryList = nullptr;

}  // namespace

COleObjectFactory::COleObjectFactory(REFCLSID clsid, const CRuntimeClass* runtimeClass, BOOL /*multiInstance*/,
                                     const char* progId)
    : m_clsid(clsid), m_pRuntimeClass(runtimeClass), m_progId(progId ? progId : "") {
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    m_pNextFactory = factoryList;
    factoryList = this;
}

COleObjectFactory::~COleObjectFactory() {
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    for (COleObjectFactory** link = &factoryList; *link; link = &(*link)->m_pNextFactory) {
        if (*link == this) {
            *link = m_pNextFactory;
            break;
        }
    }
}

void COleObjectFactory::RegisterAll() {
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    for (COleObjectFactory* factory = factoryList; factory; factory = factory->m_pNextFactory) {
        factory->m_bRegistered = true;
    }
}

void COleObjectFactory::RevokeAll() {
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    for (COleObjectFactory* factory = factoryList; factory; factory = factory->m_pNextFactory) {
        factory->m_bRegistered = false;
    }
}

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister) {
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    BOOL allSucceeded = TRUE;
    for (COleObjectFactory* factory = factoryList; factory; factory = factory->m_pNextFactory) {
        if (!factory->UpdateRegistry(bRegister)) allSucceeded = FALSE;
    }
    return allSucceeded;
}

HRESULT COleObjectFactory::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    for (COleObjectFactory* factory = factoryList; factory; factory = factory->m_pNextFactory) {
        if (factory->m_bRegistered && IsEqualCLSID(factory->m_clsid, clsid)) {
            return factory->QueryInterface(riid, ppv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

bool COleObjectFactory::AnyFactoryInUse() {
    std::lock_guard<std::mutex> lock(AfxFactoryListLock());
    for (COleObjectFactory* factory = factoryList; factory; factory = factory->m_pNextFactory) {
        if (factory->m_references.load() > 1) return true;
    }
    return false;
}

STDMETHODIMP COleObjectFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

STDMETHODIMP_(ULONG) COleObjectFactory::AddRef() {
    return ++m_references;
}

STDMETHODIMP_(ULONG) COleObjectFactory::Release() {
    // The factory's own reference is never given up: it is a static object.
    ULONG current = m_references.load();
    while (current > 1 && !m_references.compare_exchange_weak(current, current - 1)) {
    }
    return current > 1 ? current - 1 : current;
}

STDMETHODIMP COleObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return ComEntry([&]() -> HRESULT {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        CCmdTarget* object = m_pRuntimeClass ? m_pRuntimeClass->CreateObject() : nullptr;
        if (!object) return E_OUTOFMEMORY;
        // Created with one reference: query, then let the creator's go, so
        // an object whose query fails is freed at once.
        const HRESULT hr = object->InternalQueryInterface(riid, ppv);
        object->InternalRelease();
        return hr;
    });
}

namespace {

// Locks that containers hold on the module's factories. An unlock without a
// lock is ignored: it must not take the count of live objects below what
// the live objects themselves make it.
std::atomic<long> serverLocks{0};

bool TakeServerLock() {
    long held = serverLocks.load();
    while (held > 0 && !serverLocks.compare_exchange_weak(held, held - 1)) {
    }
    return held > 0;
}

}  // namespace

STDMETHODIMP COleObjectFactory::LockServer(BOOL lock) {
    if (lock) {
        ++serverLocks;
        AfxOleLockApp();
    } else if (TakeServerLock()) {
        AfxOleUnlockApp();
    }
    return S_OK;
}
