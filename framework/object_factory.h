// Class factories and the module's list of them.
//
// Each factory is a static object of the module. Built, it puts itself at
// the head of the list; it is found by DllGetClassObject only after the
// module object has made it available (RegisterAll) and until it is
// withdrawn (RevokeAll). A factory is never deleted through COM: it counts
// one reference of its own, and anything above that is a client's, which
// keeps the module loaded.
#pragma once

#include <windows.h>

#include <unknwn.h>

#include <atomic>
#include <string>

#include "framework/runtime_class.h"

class COleObjectFactory : public IClassFactory {
public:
    // `multiInstance` is taken as every factory declares it, and not kept: an
    // in-process server has no use for it.
    COleObjectFactory(REFCLSID clsid, const CRuntimeClass* runtimeClass, BOOL multiInstance, const char* progId);
    virtual ~COleObjectFactory();
    COleObjectFactory(const COleObjectFactory&) = delete;
    COleObjectFactory& operator=(const COleObjectFactory&) = delete;

    // Writes (TRUE) or removes (FALSE) the class's registry entries; TRUE on
    // success.
    virtual BOOL UpdateRegistry(BOOL bRegister) = 0;

    // Marks every factory of the module available, or withdraws them all.
    static void RegisterAll();
    static void RevokeAll();
    // Calls UpdateRegistry on every factory in list order, each one even
    // when an earlier one failed; TRUE when all succeeded.
    static BOOL UpdateRegistryAll(BOOL bRegister);
    // The answer of the first available factory for `clsid` to a request for
    // `riid`; CLASS_E_CLASSNOTAVAILABLE when there is none.
    static HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
    // Whether any factory is referenced by anything besides itself.
    static bool AnyFactoryInUse();

    REFCLSID GetClassID() const { return m_clsid; }
    const char* GetProgID() const { return m_progId.c_str(); }
    bool IsRegistered() const { return m_bRegistered; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const CLSID m_clsid;
    const CRuntimeClass* const m_pRuntimeClass;
    const std::string m_progId;
    std::atomic<ULONG> m_references{1};
    bool m_bRegistered = false;  // guarded by the factory-list lock
    COleObjectFactory* m_pNextFactory = nullptr;
};
