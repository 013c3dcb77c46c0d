// The container's side of one control on the page: the client site with
// its ambient properties, IOleControlSite, and IOleInPlaceSite over the
// page window, plus the in-place frame the control asks the site for; and,
// when the page has a URL, the browser service that tells it.
#pragma once

#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

#include <string>

#include "tools/pagehost/com_object.h"

namespace pagehost {

class ControlSite final : public RefCounted,
                          public IOleClientSite,
                          public IOleControlSite,
                          public IOleInPlaceSite,
                          public IDispatch,
                          public IServiceProvider {
public:
    // `area` is where the control sits in `window`'s client area; `pageUrl`
    // is what the SID_SWebBrowserApp service tells (none when empty).
    ControlSite(HWND window, RECT area, std::wstring name, std::wstring pageUrl);

    PAGEHOST_IUNKNOWN

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return S_OK; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** control) override;
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position, RECT* clip,
                                  OLEINPLACEFRAMEINFO* frameInfo) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(const RECT* area) override;

    // IDispatch: the ambient properties.
    PAGEHOST_NO_TYPE_INFO
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

    // IServiceProvider: SID_SWebBrowserApp when there is a page URL.
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override;

    const RECT& Area() const { return area_; }

private:
    void* Find(REFIID iid);
    HRESULT Ambient(DISPID id, VARIANT& value) const;

    HWND window_;
    RECT area_;
    std::wstring name_;
    std::wstring pageUrl_;
};

}  // namespace pagehost
