// The base of every COM object of the module: reference counting, a
// table-driven QueryInterface, and membership in the module's count of live
// objects (for DllCanUnloadNow).
//
// An object is created holding one reference (MakeComObject); callers query
// the interface they need from it and let that first reference go, so an
// object whose query fails is freed at once.
#pragma once

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <span>
#include <utility>

class CCmdTarget;

// One row of an object's interface table: an interface id and how to reach
// that interface from the object.
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(CCmdTarget* self);
};

// The row for `iid`, answered with the object's `Interface` base (which may
// be a derived interface, e.g. IPersistStreamInit for IID_IPersist).
template <class Object, class Interface>
constexpr InterfaceEntry InterfaceOf(const IID& iid) {
    return {&iid, [](CCmdTarget* self) -> IUnknown* { return static_cast<Interface*>(static_cast<Object*>(self)); }};
}

class CCmdTarget {
public:
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    ULONG InternalAddRef();
    ULONG InternalRelease();
    // IUnknown is answered with the table's first row; an id the table does
    // not hold is tried with QueryRuntimeInterface.
    HRESULT InternalQueryInterface(REFIID riid, void** ppv);

protected:
    CCmdTarget();  // one reference, held by the creator
    virtual ~CCmdTarget();

    virtual std::span<const InterfaceEntry> GetInterfaceTable() const = 0;
    // Interfaces whose ids are known only at run time (a control's dispatch
    // and event interfaces); null when `riid` is not one of them.
    virtual IUnknown* QueryRuntimeInterface(REFIID riid);

private:
    std::atomic<ULONG> m_references{1};
};

// Implements IUnknown once for all of `Interfaces` on top of CCmdTarget.
template <class... Interfaces>
class ComObjectRoot : public CCmdTarget, public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return InternalQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return InternalRelease(); }
};

// A new object holding its creation reference. Throws what the constructor
// throws (std::bad_alloc when out of memory).
template <class Object, class... Args>
Microsoft::WRL::ComPtr<Object> MakeComObject(Args&&... args) {
    Microsoft::WRL::ComPtr<Object> object;
    // Handed over without AddRef: the new object's one reference becomes
    // the pointer's. (MinGW's ComPtr::Attach adds a reference, so it would
    // leak the object.)
    *object.ReleaseAndGetAddressOf() = new Object(std::forward<Args>(args)...);
    return object;
}

// Creates an object and queries it for `riid`; *ppv is null unless it
// succeeds, and an object whose query fails is freed.
template <class Object, class... Args>
HRESULT CreateComObject(REFIID riid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return MakeComObject<Object>(std::forward<Args>(args)...)->QueryInterface(riid, ppv);
}

// Holds a reference on an object for a scope. An object that calls out (to
// event sinks) keeps itself alive this way, since a sink may release it.
class ScopedReference {
public:
    explicit ScopedReference(CCmdTarget& target) : target_(target) { target_.InternalAddRef(); }
    ~ScopedReference() { target_.InternalRelease(); }
    ScopedReference(const ScopedReference&) = delete;
    ScopedReference& operator=(const ScopedReference&) = delete;

private:
    CCmdTarget& target_;
};
