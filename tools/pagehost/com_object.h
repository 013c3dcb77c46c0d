// The plumbing every COM object of pagehost shares: a reference count, a
// QueryInterface driven by a list of interfaces. Their methods run behind
// ComEntry (win32/entry_barrier.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <utility>

#include <wrl/client.h>

#include "win32/entry_barrier.h"

namespace pagehost {

using Microsoft::WRL::ComPtr;

// An object's identity and reference count. `Find` names the interfaces it
// answers: it returns the pointer for `iid` or null.
//
// Every object alive is counted, so that pagehost can tell, once a page has
// closed, that everything it made was let go (and so that a control holding
// one of pagehost's sites was released too).
class RefCounted {
public:
    RefCounted() { ++live_; }
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    // pagehost's COM objects not yet destroyed, in the whole process.
    static long Live() { return live_; }

protected:
    virtual ~RefCounted() { --live_; }
    ULONG AddRefImpl() { return ++references_; }
    ULONG ReleaseImpl() {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> references_{1};
    static inline std::atomic<long> live_{0};
};

// Creates `T` holding the one first reference, owned by the ComPtr.
template <typename T, typename... Args>
ComPtr<T> MakeCom(Args&&... args) {
    ComPtr<T> object;
    // Handed over without AddRef: the new object's one reference becomes
    // the pointer's. (MinGW's ComPtr::Attach adds a reference, so it would
    // leak the object.)
    *object.ReleaseAndGetAddressOf() = new T(std::forward<Args>(args)...);
    return object;
}

}  // namespace pagehost

// IUnknown for a class deriving from RefCounted and from several interfaces;
// the class defines `void* Find(REFIID iid)`.
#define PAGEHOST_IUNKNOWN                                             \
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { \
        if (!object) return E_POINTER;                                \
        *object = Find(iid);                                          \
        if (!*object) return E_NOINTERFACE;                           \
        AddRefImpl();                                                 \
        return S_OK;                                                  \
    }                                                                 \
    STDMETHODIMP_(ULONG) AddRef() override {                          \
        return AddRefImpl();                                          \
    }                                                                 \
    STDMETHODIMP_(ULONG) Release() override {                         \
        return ReleaseImpl();                                         \
    }

// IDispatch's type information for an object that describes itself by name
// only (GetIDsOfNames), as scripting needs no more.
#define PAGEHOST_NO_TYPE_INFO                                         \
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {             \
        if (!count) return E_POINTER;                                 \
        *count = 0;                                                   \
        return S_OK;                                                  \
    }                                                                 \
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override { \
        if (info) *info = nullptr;                                    \
        return E_NOTIMPL;                                             \
    }
