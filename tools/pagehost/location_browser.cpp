#include "tools/pagehost/location_browser.h"

namespace pagehost {

void* LocationBrowser::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
        iid == IID_IWebBrowser2)
        return static_cast<IWebBrowser2*>(this);
    return nullptr;
}

STDMETHODIMP LocationBrowser::get_LocationURL(BSTR* url) {
    if (!url) return E_POINTER;
    *url = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
    return *url ? S_OK : E_OUTOFMEMORY;
}

}  // namespace pagehost
