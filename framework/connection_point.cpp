#include "framework/connection_point.h"

#include <algorithm>
#include <memory>
#include <olectl.h>

using Microsoft::WRL::ComPtr;

CConnectionPoint::CConnectionPoint(CCmdTarget& owner, IConnectionPointContainer& container, const IID& iid,
                                   bool acceptDispatch)
    : owner_(owner), container_(container), iid_(iid), acceptDispatch_(acceptDispatch) {}

std::vector<ComPtr<IUnknown>> CConnectionPoint::Sinks() const {
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(connections_.size());
    for (const auto& connection : connections_) sinks.push_back(connection.sink);
    return sinks;
}

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IConnectionPoint*>(this);
    return S_OK;
}

STDMETHODIMP_(ULONG) CConnectionPoint::AddRef() {
    return owner_.InternalAddRef();
}

STDMETHODIMP_(ULONG) CConnectionPoint::Release() {
    return owner_.InternalRelease();
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    container_.AddRef();
    *container = &container_;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    ComPtr<IUnknown> connected;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(connected.GetAddressOf()))) &&
        (!acceptDispatch_ ||
         FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(connected.GetAddressOf()))))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    try {
        connections_.push_back({nextCookie_, connected});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = nextCookie_;
    if (++nextCookie_ == 0) nextCookie_ = 1;  // 0 is never a cookie
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie) {
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [cookie](const auto& connection) { return connection.cookie == cookie; });
    if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
    // Released after the entry is gone: a sink whose last reference this is
    // may call back into the point from its destructor.
    ComPtr<IUnknown> sink = std::move(found->sink);
    connections_.erase(found);
    return S_OK;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    try {
        auto snapshot = std::make_shared<const std::vector<ConnectionItems::Stored>>(connections_);
        return CreateComObject<CEnumConnections>(IID_IEnumConnections, reinterpret_cast<void**>(connections),
                                                 std::move(snapshot));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
