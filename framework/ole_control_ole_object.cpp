// The OLE object a container embeds: client site, verbs, extent, advise
// sinks, and the properties verb with its property frame.
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "win32/entry_barrier.h"
#include "win32/task_memory.h"
#include "framework/module_state.h"
#include "framework/ole_control.h"
#include "framework/resource_string.h"
#include "win32/unique_variant.h"
#include "framework/verb_enumerator.h"

using Microsoft::WRL::ComPtr;

namespace {

// The properties verb: listed as verb 0, on the container's menu, named by
// this string of the module (the framework's fallback when it is missing).
constexpr LONG kPropertiesVerb = 0;
constexpr UINT kPropertiesVerbNameId = 0xFE41;
constexpr wchar_t kUnknownVerbName[] = L"<unknown verb>";

}  // namespace

STDMETHODIMP COleControl::SetClientSite(IOleClientSite* site) {
    return ComEntry([&]() -> HRESULT {
        m_clientSite = site;
        if (!site) m_inPlaceSite.Reset();
        OnSetClientSite();
        return S_OK;
    });
}

STDMETHODIMP COleControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = m_clientSite.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

STDMETHODIMP COleControl::Close(DWORD) {
    return ComEntry([&]() -> HRESULT {
        // The control keeps nothing to save on close: its state goes to the
        // container only when the container asks for it.
        ScopedReference keepAlive(*this);
        InPlaceDeactivate();
        if (m_adviseHolder) m_adviseHolder->SendOnClose();
        return S_OK;
    });
}

STDMETHODIMP COleControl::SetMoniker(DWORD, IMoniker*) {
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::InitFromData(IDataObject*, BOOL, DWORD) {
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT position) {
    return ComEntry([&]() -> HRESULT {
        ScopedReference keepAlive(*this);
        if (site && !m_clientSite) {
            m_clientSite = site;
            OnSetClientSite();
        }
        switch (verb) {
            case kPropertiesVerb:  // also OLEIVERB_PRIMARY
            case OLEIVERB_PROPERTIES:
                return OnProperties(parent);
            case OLEIVERB_SHOW:
            case OLEIVERB_INPLACEACTIVATE:
                return InPlaceActivate(false, parent, position);
            case OLEIVERB_UIACTIVATE:
                return InPlaceActivate(true, parent, position);
            case OLEIVERB_HIDE:
                Show(false);
                return S_OK;
            default:
                return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
        }
    });
}

STDMETHODIMP COleControl::EnumVerbs(IEnumOLEVERB** verbs) {
    return ComEntry([&]() -> HRESULT {
        if (!verbs) return E_POINTER;
        *verbs = nullptr;
        auto list = std::make_shared<std::vector<VerbItems::Stored>>();
        list->push_back({kPropertiesVerb,
                         LoadResourceString(AfxGetInstanceHandle(), kPropertiesVerbNameId).value_or(kUnknownVerbName),
                         MF_STRING | MF_ENABLED, OLEVERBATTRIB_ONCONTAINERMENU});
        return CreateComObject<CEnumOleVerbs>(IID_IEnumOLEVERB, reinterpret_cast<void**>(verbs),
                                              std::shared_ptr<const std::vector<VerbItems::Stored>>(list));
    });
}

STDMETHODIMP COleControl::Update() {
    return S_OK;
}

STDMETHODIMP COleControl::IsUpToDate() {
    return S_OK;
}

STDMETHODIMP COleControl::GetUserClassID(CLSID* classId) {
    return GetClassID(classId);
}

STDMETHODIMP COleControl::GetUserType(DWORD, LPOLESTR* userType) {
    return ComEntry([&]() -> HRESULT {
        if (!userType) return E_POINTER;
        *userType = nullptr;
        const auto name = LoadResourceString(AfxGetInstanceHandle(), GetUserTypeNameID());
        // Without a name of our own the registry's entry for the class has it.
        if (!name) return OLE_S_USEREG;
        *userType = CopyToTaskMemory(*name);
        return *userType ? S_OK : E_OUTOFMEMORY;
    });
}

STDMETHODIMP COleControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
    if (size->cx != m_extent.cx || size->cy != m_extent.cy) {
        m_extent = *size;
        m_dirty = true;
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    *size = SIZEL{};
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP COleControl::Advise(IAdviseSink* sink, DWORD* connection) {
    return ComEntry([&]() -> HRESULT {
        if (!connection) return E_POINTER;
        *connection = 0;
        if (!sink) return E_INVALIDARG;
        if (!m_adviseHolder) {
            const HRESULT hr = ::CreateOleAdviseHolder(m_adviseHolder.GetAddressOf());
            if (FAILED(hr)) return hr;
        }
        return m_adviseHolder->Advise(sink, connection);
    });
}

STDMETHODIMP COleControl::Unadvise(DWORD connection) {
    return ComEntry([&]() -> HRESULT {
        if (!m_adviseHolder) return OLE_E_NOCONNECTION;
        return m_adviseHolder->Unadvise(connection);
    });
}

STDMETHODIMP COleControl::EnumAdvise(IEnumSTATDATA** advises) {
    return ComEntry([&]() -> HRESULT {
        if (!advises) return E_POINTER;
        *advises = nullptr;
        if (!m_adviseHolder) return E_FAIL;
        return m_adviseHolder->EnumAdvise(advises);
    });
}

STDMETHODIMP COleControl::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (!status) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? GetMiscStatus() : 0;
    return S_OK;
}

STDMETHODIMP COleControl::SetColorScheme(LOGPALETTE*) {
    return E_NOTIMPL;
}

// IOleControl

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    // No mnemonics: no accelerator table.
    *info = CONTROLINFO{sizeof(CONTROLINFO), nullptr, 0, 0};
    return S_OK;
}

STDMETHODIMP COleControl::OnMnemonic(MSG*) {
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::OnAmbientPropertyChange(DISPID) {
    return S_OK;
}

STDMETHODIMP COleControl::FreezeEvents(BOOL freeze) {
    return ComEntry([&] {
        if (freeze) {
            if (m_eventsFrozen++ == 0) OnFreezeEvents(true);
        } else if (m_eventsFrozen > 0) {  // a thaw without a freeze changes nothing
            if (--m_eventsFrozen == 0) OnFreezeEvents(false);
        }
        return S_OK;
    });
}

void COleControl::OnFreezeEvents(bool) {}

// Property pages

const CLSID* COleControl::GetPropPageIDs(ULONG& count) {
    count = 0;
    return nullptr;
}

STDMETHODIMP COleControl::GetPages(CAUUID* pages) {
    return ComEntry([&]() -> HRESULT {
        if (!pages) return E_POINTER;
        *pages = CAUUID{0, nullptr};
        ULONG count = 0;
        const CLSID* ids = GetPropPageIDs(count);
        if (count == 0 || !ids) return S_OK;
        auto* copy = static_cast<GUID*>(::CoTaskMemAlloc(count * sizeof(GUID)));
        if (!copy) return E_OUTOFMEMORY;
        std::copy(ids, ids + count, copy);
        *pages = CAUUID{count, copy};
        return S_OK;
    });
}

LCID COleControl::AmbientLocale() const {
    ComPtr<IDispatch> ambient;
    if (!m_clientSite || FAILED(m_clientSite.As(&ambient))) return ::GetUserDefaultLCID();
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    UniqueVariant value;
    HRESULT hr = ambient->Invoke(DISPID_AMBIENT_LOCALEID, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.put(),
                                 nullptr, nullptr);
    if (SUCCEEDED(hr)) hr = ::VariantChangeType(value.get(), value.get(), 0, VT_I4);
    return SUCCEEDED(hr) ? static_cast<LCID>(value->lVal) : ::GetUserDefaultLCID();
}

HWND COleControl::SiteWindow() const {
    HWND window = nullptr;
    if (m_inPlaceSite) m_inPlaceSite->GetWindow(&window);
    return window;
}

HRESULT COleControl::OnProperties(HWND parent) {
    ComPtr<IOleControlSite> controlSite;
    if (m_clientSite && SUCCEEDED(m_clientSite.As(&controlSite)) && SUCCEEDED(controlSite->ShowPropertyFrame())) {
        return S_OK;
    }
    ULONG count = 0;
    const CLSID* pages = GetPropPageIDs(count);
    const std::wstring caption = LoadResourceString(AfxGetInstanceHandle(), GetUserTypeNameID()).value_or(L"");
    IUnknown* objects[] = {static_cast<IDispatch*>(this)};
    HWND owner = parent ? parent : SiteWindow();
    if (!owner) owner = ::GetActiveWindow();
    return ::OleCreatePropertyFrame(owner, 0, 0, caption.c_str(), 1, objects, count, const_cast<CLSID*>(pages),
                                    AmbientLocale(), 0, nullptr);
}
