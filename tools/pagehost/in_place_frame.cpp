#include "tools/pagehost/in_place_frame.h"

namespace pagehost {
namespace {

class InPlaceFrame final : public RefCounted, public IOleInPlaceFrame {
public:
    explicit InPlaceFrame(HWND window) : window_(window) {}

    PAGEHOST_IUNKNOWN

    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = window_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(RECT*) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        active_ = object;
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    void* Find(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IOleInPlaceUIWindow ||
            iid == IID_IOleInPlaceFrame)
            return static_cast<IOleInPlaceFrame*>(this);
        return nullptr;
    }

    HWND window_;
    ComPtr<IOleInPlaceActiveObject> active_;
};

}  // namespace

ComPtr<IOleInPlaceFrame> MakeInPlaceFrame(HWND window) {
    return MakeCom<InPlaceFrame>(window);
}

}  // namespace pagehost
