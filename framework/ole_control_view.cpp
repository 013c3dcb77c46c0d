// Drawing: IViewObject2 into a container's device context, and the
// invalidation that tells the in-place window and view sinks to redraw.
#include "win32/entry_barrier.h"
#include "framework/ole_control.h"

void COleControl::OnDraw(HDC, const RECT&, const RECT&) {}

void COleControl::InvalidateControl() {
    if (m_window) ::InvalidateRect(m_window.get(), nullptr, FALSE);
    if (m_viewSink && (m_viewAspects & DVASPECT_CONTENT)) m_viewSink->OnViewChange(DVASPECT_CONTENT, -1);
}

STDMETHODIMP COleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                               BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    return ComEntry([&]() -> HRESULT {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        if (!dc || !bounds) return E_INVALIDARG;
        const RECT area{bounds->left, bounds->top, bounds->right, bounds->bottom};
        OnDraw(dc, area, area);
        return S_OK;
    });
}

STDMETHODIMP COleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::Freeze(DWORD, LONG, void*, DWORD* freeze) {
    if (freeze) *freeze = 0;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::Unfreeze(DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    m_viewSink = sink;
    m_viewAspects = sink ? aspects : 0;
    m_viewFlags = sink ? flags : 0;
    return S_OK;
}

STDMETHODIMP COleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = m_viewAspects;
    if (flags) *flags = m_viewFlags;
    if (sink) {
        *sink = m_viewSink.Get();
        if (*sink) (*sink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}
