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
    windowClass_ = std::move(windowClass);
    window_ = std::move(window);
    return S_OK;
}

void COleControl::Show(bool visible) {
    if (!window_) return;
    ::ShowWindow(window_.get(), visible ? SW_SHOWNA : SW_HIDE);
    if (visible) ::UpdateWindow(window_.get());
}

HRESULT COleControl::InPlaceActivate(bool uiActivate, HWND parent, LPCRECT position) {
    if (!window_) {
        if (!clientSite_) return E_UNEXPECTED;
        ComPtr<IOleInPlaceSite> site;
        if (FAILED(clientSite_.As(&site))) return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
        HRESULT hr = site->OnInPlaceActivate();
        if (FAILED(hr)) return hr;
        inPlaceSite_ = site;
        HWND siteWindow = nullptr;
        site->GetWindow(&siteWindow);
        ComPtr<IOleInPlaceUIWindow> document;
        RECT area{}, clip{};
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof frameInfo;
        inPlaceFrame_.Reset();
        site->GetWindowContext(inPlaceFrame_.GetAddressOf(), document.GetAddressOf(), &area, &clip, &frameInfo);
        if (position) area = *position;
        hr = CreateInPlaceWindow(siteWindow ? siteWindow : parent, area);
        if (FAILED(hr)) {
            site->OnInPlaceDeactivate();
            inPlaceSite_.Reset();
            inPlaceFrame_.Reset();
            return hr;
        }
    }
    Show(true);
    if (uiActivate && !uiActive_) {
        uiActive_ = true;
        inPlaceSite_->OnUIActivate();
        if (inPlaceFrame_) inPlaceFrame_->SetActiveObject(this, nullptr);
    }
    return S_OK;
}

// IOleWindow

STDMETHODIMP COleControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_.get();
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

// IOleInPlaceObject

STDMETHODIMP COleControl::InPlaceDeactivate() {
    return ComEntry([&]() -> HRESULT {
        if (!window_) return S_OK;
        ScopedReference keepAlive(*this);
        UIDeactivate();
        window_.reset();
        windowClass_.reset();
        inPlaceFrame_.Reset();
        // The site may release us here; keepAlive holds us to the end.
        ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_);
        if (site) site->OnInPlaceDeactivate();
        return S_OK;
    });
}

STDMETHODIMP COleControl::UIDeactivate() {
    return ComEntry([&]() -> HRESULT {
        if (!uiActive_) return S_OK;
        uiActive_ = false;
        if (inPlaceFrame_) inPlaceFrame_->SetActiveObject(nullptr, nullptr);
        if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
        return S_OK;
    });
}

STDMETHODIMP COleControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    if (window_) {
        ::MoveWindow(window_.get(), position->left, position->top, position->right - position->left,
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
