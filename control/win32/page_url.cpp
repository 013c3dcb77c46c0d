#include "control/win32/page_url.h"

#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <shlguid.h>

#include <wrl/client.h>

#include "framework/text_conversion.h"
#include "win32/unique_bstr.h"

using Microsoft::WRL::ComPtr;

namespace {

// The whole string, embedded zeros included, so that the lock sees them.
std::optional<std::string> Utf8Url(const UniqueBstr& url) {
    const UINT length = ::SysStringLen(url.get());
    if (length == 0) return std::nullopt;
    return WideToUtf8(std::wstring_view(url.get(), length));
}

std::optional<std::string> BrowserLocation(IOleClientSite* site) {
    ComPtr<IServiceProvider> services;
    ComPtr<IWebBrowser2> browser;
    UniqueBstr url;
    if (FAILED(site->QueryInterface(IID_PPV_ARGS(&services))) ||
        FAILED(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                                      reinterpret_cast<void**>(browser.GetAddressOf()))) ||
        !browser || FAILED(browser->get_LocationURL(url.put())))
        return std::nullopt;
    return Utf8Url(url);
}

std::optional<std::string> DocumentUrl(IOleClientSite* site) {
    ComPtr<IOleContainer> container;
    ComPtr<IHTMLDocument2> document;
    UniqueBstr url;
    if (FAILED(site->GetContainer(&container)) || !container || FAILED(container.As(&document)) ||
        FAILED(document->get_URL(url.put())))
        return std::nullopt;
    return Utf8Url(url);
}

}  // namespace

std::optional<std::string> PageUrlOf(IOleClientSite* site) {
    if (!site) return std::nullopt;
    if (auto url = BrowserLocation(site)) return url;
    return DocumentUrl(site);
}
