// A client site in a browser, as a control sees one in a page: it offers
// the browser as a service (SID_SWebBrowserApp), whose LocationURL is the
// page's address.
#pragma once

#include <servprov.h>
#include <shlguid.h>

#include <string>

#include "tests/win/ocx_client.h"
#include "tests/win/ole_fakes.h"
#include "tools/pagehost/location_browser.h"

namespace veldorinctl::test {

// A client site in a browser that is showing `url`.
class BrowserSite final : public CountedFake<IOleClientSite, IServiceProvider> {
public:
    explicit BrowserSite(std::wstring url) : url_(std::move(url)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleClientSite)
            *ppv = static_cast<IOleClientSite*>(this);
        else if (riid == IID_IServiceProvider)
            *ppv = static_cast<IServiceProvider*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (service != SID_SWebBrowserApp) return E_NOINTERFACE;
        ComPtr<IWebBrowser2> browser;
        *browser.GetAddressOf() = new pagehost::LocationBrowser(url_);
        return browser->QueryInterface(riid, ppv);
    }

private:
    std::wstring url_;
};

}  // namespace veldorinctl::test
