// IObjectSafety: what the control tells a container about being driven by
// untrusted scripts and initialised from untrusted data.
#include "win32/entry_barrier.h"
#include "framework/ole_control.h"

using Microsoft::WRL::ComPtr;

DWORD COleControl::GetInterfaceSafety(REFIID) const {
    return 0;
}

bool COleControl::IsSiteAllowed() const {
    return true;
}

void COleControl::OnSetClientSite() {}

bool COleControl::HasInterface(REFIID riid) {
    ComPtr<IUnknown> found;
    return SUCCEEDED(InternalQueryInterface(riid, reinterpret_cast<void**>(found.GetAddressOf())));
}

STDMETHODIMP COleControl::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
    return ComEntry([&]() -> HRESULT {
        if (supported) *supported = 0;
        if (enabled) *enabled = 0;
        if (!supported || !enabled) return E_POINTER;
        if (!HasInterface(riid)) return E_NOINTERFACE;
        *supported = *enabled = GetInterfaceSafety(riid);
        return S_OK;
    });
}

STDMETHODIMP COleControl::SetInterfaceSafetyOptions(REFIID riid, DWORD optionSetMask, DWORD) {
    return ComEntry([&]() -> HRESULT {
        if (!HasInterface(riid)) return E_NOINTERFACE;
        if ((optionSetMask & ~GetInterfaceSafety(riid)) != 0) return E_FAIL;
        // A container that is told no neither scripts nor initialises the
        // control: the first line of the site lock.
        return IsSiteAllowed() ? S_OK : E_FAIL;
    });
}
