#include "tools/pagehost/control_site.h"

#include <olectl.h>
#include <shlguid.h>

#include "tools/pagehost/automation.h"
#include "tools/pagehost/in_place_frame.h"
#include "tools/pagehost/location_browser.h"

namespace pagehost {

ControlSite::ControlSite(HWND window, RECT area, std::wstring name, std::wstring pageUrl)
    : window_(window), area_(area), name_(std::move(name)), pageUrl_(std::move(pageUrl)) {}

void* ControlSite::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) return static_cast<IOleClientSite*>(this);
    if (iid == IID_IOleControlSite) return static_cast<IOleControlSite*>(this);
    if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) return static_cast<IOleInPlaceSite*>(this);
    if (iid == IID_IDispatch) return static_cast<IDispatch*>(this);
    if (iid == IID_IServiceProvider) return static_cast<IServiceProvider*>(this);
    return nullptr;
}

STDMETHODIMP ControlSite::QueryService(REFGUID service, REFIID iid, void** object) {
    return ComEntry([&]() -> HRESULT {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (service != SID_SWebBrowserApp || pageUrl_.empty()) return E_NOINTERFACE;
        return MakeCom<LocationBrowser>(pageUrl_)->QueryInterface(iid, object);
    });
}

STDMETHODIMP ControlSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlSite::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ControlSite::GetExtendedControl(IDispatch** control) {
    if (control) *control = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
}

STDMETHODIMP ControlSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                           RECT* clip, OLEINPLACEFRAMEINFO* frameInfo) {
    return ComEntry([&] {
        if (frame) *frame = nullptr;
        if (document) *document = nullptr;
        if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
        *frame = MakeInPlaceFrame(window_).Detach();
        *position = area_;
        *clip = area_;
        frameInfo->fMDIApp = FALSE;
        frameInfo->hwndFrame = window_;
        frameInfo->haccel = nullptr;
        frameInfo->cAccelEntries = 0;
        return S_OK;
    });
}

STDMETHODIMP ControlSite::OnPosRectChange(const RECT* area) {
    if (!area) return E_POINTER;
    area_ = *area;
    return S_OK;
}

STDMETHODIMP ControlSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
    return ComEntry([&] {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (!result) return E_POINTER;
        VariantInit(result);
        return Ambient(id, *result);
    });
}

// The ambient properties of a page being viewed, not designed: user mode,
// no hatching or grab handles, the page's colours and locale.
HRESULT ControlSite::Ambient(DISPID id, VARIANT& value) const {
    auto boolean = [&](bool on) {
        value.vt = VT_BOOL;
        value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    };
    auto number = [&](LONG number) {
        value.vt = VT_I4;
        value.lVal = number;
        return S_OK;
    };
    switch (id) {
        case DISPID_AMBIENT_USERMODE:
            return boolean(true);
        case DISPID_AMBIENT_UIDEAD:
        case DISPID_AMBIENT_SHOWHATCHING:
        case DISPID_AMBIENT_SHOWGRABHANDLES:
        case DISPID_AMBIENT_DISPLAYASDEFAULT:
        case DISPID_AMBIENT_MESSAGEREFLECT:
        case DISPID_AMBIENT_SUPPORTSMNEMONICS:
            return boolean(false);
        case DISPID_AMBIENT_BACKCOLOR:
            return number(static_cast<LONG>(GetSysColor(COLOR_WINDOW)));
        case DISPID_AMBIENT_FORECOLOR:
            return number(static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT)));
        case DISPID_AMBIENT_LOCALEID:
            return number(static_cast<LONG>(GetUserDefaultLCID()));
        case DISPID_AMBIENT_DISPLAYNAME:
            return ReturnText(&value, name_);
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace pagehost
