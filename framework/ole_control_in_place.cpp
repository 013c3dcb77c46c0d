// In-place activation: a child window of the container's window that
// paints through OnDraw, and the in-place interfaces around it.
#include "win32/entry_barrier.h"
#include "framework/module_state.h"
#include "framework/ole_control.h"

using Microsoft::WRL::ComPtr;

namespace {

ModuleWindowClass controlWindowClass(L"VeldorinctlControlWindow", CS_HREDRAW | CS_VREDRAW,
                                     MAKEINTRESOURCEW(32512));  // IDC_ARROW

}  // namespace

LRESULT CALLBACK COleControl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* control = reinterpret_cast<COleControl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // OnDraw paints every pixel
        case WM_PAINT:
            if (control) {
                try {
                    control->OnPaint(window);
                } catch (...) {
                    ::ValidateRect(window, nullptr);  // nothing may leave a window procedure
                }
                return 0;
            }
            break;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void COleControl::OnPaint(HWND window) {
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(window, &paint);
    if (!dc) return;
    RECT bounds{};
    ::GetClientRect(window, &bounds);
    OnDraw(dc, bounds, paint.rcPaint);
    ::EndPaint(window, &paint);
}

HRESULT COleControl::CreateInPlaceWindow(HWND parent, const RECT& position) {
    ModuleWindowClass::Use windowClass = controlWindowClass.Acquire(&WindowProc);
    if (!windowClass) return HRESULT_FROM_WIN32(::GetLastError());
    UniqueWindow window(::CreateWindowExW(0, controlWindowClass.Name(), L"", WS_CHILD | WS_CLIPSIBLINGS, position.left,
                                          position.top, position.right - position.left, position.bottom - position.top,
                                          parent, nullptr, AfxGetInstanceHandle(), nullptr));
    if (!window) return HRESULT_FROM_WIN32(::GetLastError());
    ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_windowClass = std::move(windowClass);
    m_window = std::move(window);
    return S_OK;
}

void COleControl::Show(bool visible) {
    if (!m_window) return;
    ::ShowWindow(m_window.get(), visible ? SW_SHOWNA : SW_HIDE);
    if (visible) ::UpdateWindow(m_window.get());
}

HRESULT COleControl::InPlaceActivate(bool uiActivate, HWND parent, LPCRECT position) {
    if (!m_window) {
        if (!m_clientSite) return E_UNEXPECTED;
        ComPtr<IOleInPlaceSite> site;
        if (FAILED(m_clientSite.As(&site))) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        HRESULT hr = site->OnInPlaceActivate();
        if (FAILED(hr)) return hr;
        m_inPlaceSite = site;
        HWND siteWindow = nullptr;
        site->GetWindow(&siteWindow);
        ComPtr<IOleInPlaceUIWindow> document;
        RECT area{}, clip{};
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof frameInfo;
        m_inPlaceFrame.Reset();
        site->GetWindowContext(m_inPlaceFrame.GetAddressOf(), document.GetAddressOf(), &area, &clip, &frameInfo);
        if (position) area = *position;
        hr = CreateInPlaceWindow(siteWindow ? siteWindow : parent, area);
        if (FAILED(hr)) {
            site->OnInPlaceDeactivate();
            m_inPlaceSite.Reset();
            m_inPlaceFrame.Reset();
            return hr;
        }
    }
    Show(true);
    if (uiActivate && !m_uiActive) {
        m_uiActive = true;
        m_inPlaceSite->OnUIActivate();
        if (m_inPlaceFrame) m_inPlaceFrame->SetActiveObject(this, nullptr);
    }
    return S_OK;
}

// IOleWindow

STDMETHODIMP COleControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = m_window.get();
    return m_window ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

// IOleInPlaceObject

STDMETHODIMP COleControl::InPlaceDeactivate() {
    return ComEntry([&]() -> HRESULT {
        if (!m_window) return S_OK;
        ScopedReference keepAlive(*this);
        UIDeactivate();
        m_window.reset();
        m_windowClass.reset();
        m_inPlaceFrame.Reset();
        // The site may release us here; keepAlive holds us to the end.
        ComPtr<IOleInPlaceSite> site = std::move(m_inPlaceSite);
        if (site) site->OnInPlaceDeactivate();
        return S_OK;
    });
}

STDMETHODIMP COleControl::UIDeactivate() {
    return ComEntry([&]() -> HRESULT {
        if (!m_uiActive) return S_OK;
        m_uiActive = false;
        if (m_inPlaceFrame) m_inPlaceFrame->SetActiveObject(nullptr, nullptr);
        if (m_inPlaceSite) m_inPlaceSite->OnUIDeactivate(FALSE);
        return S_OK;
    });
}

STDMETHODIMP COleControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    if (m_window) {
        ::MoveWindow(m_window.get(), position->left, position->top, position->right - position->left,
                     position->bottom - position->top, TRUE);
    }
    return S_OK;
}

STDMETHODIMP COleControl::ReactivateAndUndo() {
    return E_NOTIMPL;
}

// IOleInPlaceActiveObject

STDMETHODIMP COleControl::TranslateAccelerator(LPMSG) {
    return S_FALSE;
}

STDMETHODIMP COleControl::OnFrameWindowActivate(BOOL) {
    return S_OK;
}

STDMETHODIMP COleControl::OnDocWindowActivate(BOOL) {
    return S_OK;
}

STDMETHODIMP COleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}

STDMETHODIMP COleControl::EnableModeless(BOOL) {
    return S_OK;
}
