// Persistence of a control: initialisation as new or from stored state, and
// saving, all through DoPropExchange.
#include <olectl.h>

#include "win32/entry_barrier.h"
#include "framework/ole_control.h"

using Microsoft::WRL::ComPtr;

namespace {

// The stream of a storage that holds the values.
constexpr wchar_t kContentsStream[] = L"Contents";
// The values the framework itself exchanges: the version, the extent in two
// values, the stock-property mask.
constexpr ULONG kFrameworkValueCount = 4;

}  // namespace

bool COleControl::ExchangeVersion(CPropExchange* exchange, DWORD defaultVersion, bool convert) {
    // Saving always writes the version this code is.
    long version = static_cast<long>(defaultVersion);
    exchange->ExchangeLong(L"_Version", version, static_cast<long>(defaultVersion));
    if (!exchange->IsLoading()) return true;
    m_versionLoaded = static_cast<DWORD>(version);
    if (convert || m_versionLoaded == defaultVersion) return true;
    exchange->Reject();
    return false;
}

void COleControl::DoPropExchange(CPropExchange* exchange) {
    long extentX = m_extent.cx;
    long extentY = m_extent.cy;
    exchange->ExchangeLong(L"_ExtentX", extentX, m_defaultExtent.cx);
    exchange->ExchangeLong(L"_ExtentY", extentY, m_defaultExtent.cy);
    // No stock property is ours to keep, so the mask is always 0; a stored
    // mask that names any cannot be ours.
    long stockProps = 0;
    exchange->ExchangeLong(L"_StockProps", stockProps, 0);
    if (!exchange->IsLoading() || !exchange->Succeeded()) return;
    if (stockProps != 0 || extentX < 0 || extentY < 0) {
        exchange->Reject();
        return;
    }
    m_extent = SIZEL{extentX, extentY};
}

void COleControl::OnResetState() {
    CResetPropExchange reset;
    DoPropExchange(&reset);
    InvalidateControl();
}

HRESULT COleControl::InitializeAsNew() {
    // Initialising twice is the container's mistake.
    if (m_initialized) return E_UNEXPECTED;
    OnResetState();
    m_initialized = true;
    m_dirty = false;
    return S_OK;
}

// Unlike InitNew, a load may come again later: a container hands a running
// control stored state (and one that cannot be read resets it).
HRESULT COleControl::InitializeFrom(CPropExchange& exchange) {
    DoPropExchange(&exchange);
    // Initialised either way: a control whose state cannot be read works
    // as new, and the container hears that its state was not taken.
    m_initialized = true;
    m_dirty = false;
    if (exchange.Succeeded()) {
        InvalidateControl();
        return S_OK;
    }
    OnResetState();
    return E_FAIL;
}

HRESULT COleControl::SaveThrough(CPropExchange& exchange, BOOL clearDirty) {
    DoPropExchange(&exchange);
    if (!exchange.Succeeded()) return E_FAIL;
    if (clearDirty) m_dirty = false;
    return S_OK;
}

// IPersistStreamInit

STDMETHODIMP COleControl::InitNew() {
    return ComEntry([&] { return InitializeAsNew(); });
}

STDMETHODIMP COleControl::IsDirty() {
    return m_dirty ? S_OK : S_FALSE;
}

STDMETHODIMP COleControl::Load(IStream* stream) {
    return ComEntry([&]() -> HRESULT {
        if (!stream) return E_POINTER;
        CStreamLoadPropExchange exchange(*stream);
        return InitializeFrom(exchange);
    });
}

STDMETHODIMP COleControl::Save(IStream* stream, BOOL clearDirty) {
    return ComEntry([&]() -> HRESULT {
        if (!stream) return E_POINTER;
        CStreamSavePropExchange exchange(*stream);
        return SaveThrough(exchange, clearDirty);
    });
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = StreamSizeOfValues(kFrameworkValueCount);
    return S_OK;
}

// IPersistStorage

STDMETHODIMP COleControl::InitNew(IStorage* storage) {
    return ComEntry([&]() -> HRESULT {
        if (!storage) return E_POINTER;
        return InitializeAsNew();
    });
}

STDMETHODIMP COleControl::Load(IStorage* storage) {
    return ComEntry([&]() -> HRESULT {
        if (!storage) return E_POINTER;
        ComPtr<IStream> stream;
        const HRESULT hr =
            storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.GetAddressOf());
        if (FAILED(hr)) {
            // A storage without our stream is stored state we cannot read.
            OnResetState();
            m_initialized = true;
            m_dirty = false;
            return E_FAIL;
        }
        CStreamLoadPropExchange exchange(*stream.Get());
        return InitializeFrom(exchange);
    });
}

STDMETHODIMP COleControl::Save(IStorage* storage, BOOL) {
    return ComEntry([&]() -> HRESULT {
        if (!storage) return E_POINTER;
        ComPtr<IStream> stream;
        const HRESULT hr = storage->CreateStream(kContentsStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                                 stream.GetAddressOf());
        if (FAILED(hr)) return hr;
        CStreamSavePropExchange exchange(*stream.Get());
        return SaveThrough(exchange, TRUE);
    });
}

STDMETHODIMP COleControl::SaveCompleted(IStorage*) {
    return S_OK;
}

STDMETHODIMP COleControl::HandsOffStorage() {
    return S_OK;
}

// IPersistPropertyBag

STDMETHODIMP COleControl::Load(IPropertyBag* bag, IErrorLog* log) {
    return ComEntry([&]() -> HRESULT {
        if (!bag) return E_POINTER;
        CPropbagLoadPropExchange exchange(*bag, log);
        return InitializeFrom(exchange);
    });
}

STDMETHODIMP COleControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
    return ComEntry([&]() -> HRESULT {
        if (!bag) return E_POINTER;
        CPropbagSavePropExchange exchange(*bag);
        return SaveThrough(exchange, clearDirty);
    });
}
