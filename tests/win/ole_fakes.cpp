#include "tests/win/ole_fakes.h"

#include <algorithm>

namespace veldorinctl::test {

void FakePropertyBag::Put(const std::wstring& name, long value) {
    UniqueVariant stored;
    stored->vt = VT_I4;
    stored->lVal = value;
    values_[name] = std::move(stored);
}

void FakePropertyBag::Put(const std::wstring& name, const wchar_t* text) {
    UniqueVariant stored;
    stored->vt = VT_BSTR;
    stored->bstrVal = ::SysAllocString(text);
    values_[name] = std::move(stored);
}

long FakePropertyBag::LongValue(const std::wstring& name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return -1;
    UniqueVariant number;
    if (FAILED(::VariantChangeType(number.get(), const_cast<VARIANT*>(found->second.get()), 0, VT_I4))) return -1;
    return number->lVal;
}

STDMETHODIMP FakePropertyBag::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPropertyBag) return E_NOINTERFACE;
    *ppv = static_cast<IPropertyBag*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP FakePropertyBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
    const auto found = values_.find(name);
    if (found == values_.end()) return E_INVALIDARG;
    const VARTYPE wanted = value->vt;
    ::VariantInit(value);
    if (wanted == VT_EMPTY) return ::VariantCopy(value, found->second.get());
    return ::VariantChangeType(value, found->second.get(), 0, wanted);
}

STDMETHODIMP FakePropertyBag::Write(LPCOLESTR name, VARIANT* value) {
    UniqueVariant stored;
    const HRESULT hr = ::VariantCopy(stored.get(), value);
    if (FAILED(hr)) return hr;
    values_[name] = std::move(stored);
    written_.emplace_back(name);
    return S_OK;
}

int FakeClientSite::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

STDMETHODIMP FakeClientSite::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
        *ppv = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
        *ppv = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleControlSite) {
        *ppv = static_cast<IOleControlSite*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP FakeClientSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FakeClientSite::GetContainer(IOleContainer** container) {
    *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FakeClientSite::GetWindow(HWND* window) {
    calls_.emplace_back("GetWindow");
    *window = window_;
    return S_OK;
}

STDMETHODIMP FakeClientSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                              LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    calls_.emplace_back("GetWindowContext");
    *frame = nullptr;
    *document = nullptr;
    *position = position_;
    *clip = position_;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP FakeClientSite::GetExtendedControl(IDispatch** control) {
    *control = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FakeAdviseSink::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IAdviseSink) return E_NOINTERFACE;
    *ppv = static_cast<IAdviseSink*>(this);
    AddRef();
    return S_OK;
}

}  // namespace veldorinctl::test
