#include "framework/connection_point.h"

#include <algorithm>
#include <memory>
#include <olectl.h>

using Microsoft::WRL::ComPtr;

CConnectionPoint::CConnectionPoint(CCmdTarget& owner, IConnectionPointContainer& container, const IID& iid,
                                   bool acceptDispatch)
    : m_owner(owner), m_container(container), m_iid(iid), m_acceptDispatch(acceptDispatch) {}

std::vector<ComPtr<IUnknown>> CConnectionPoint::Sinks() const {
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(m_connections.size());
    for (const auto& connection : m_connections) sinks.push_back(connection.sink);
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
    return m_owner.InternalAddRef();
}

STDMETHODIMP_(ULONG) CConnectionPoint::Release() {
    return m_owner.InternalRelease();
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
    if (!container) return E_POINTER;
    m_container.AddRef();
    *container = &m_container;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    ComPtr<IUnknown> connected;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(connected.GetAddressOf()))) &&
        (!m_acceptDispatch ||
         FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(connected.GetAddressOf()))))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    try {
        m_connections.push_back({m_nextCookie, connected});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    *cookie = m_nextCookie;
    if (++m_nextCookie == 0) m_nextCookie = 1;  // 0 is never a cookie
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie) {
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [cookie](const auto& connection) { return connection.cookie == cookie; });
    if (found == m_connections.end()) return CONNECT_E_NOCONNECTION;
    // Released after the entry is gone: a sink whose last reference this is
    // may call back into the point from its destructor.
    ComPtr<IUnknown> sink = std::move(found->sink);
    m_connections.erase(found);
    return S_OK;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (!connections) return E_POINTER;
    *connections = nullptr;
    try {
        auto snapshot = std::make_shared<const std::vector<ConnectionItems::Stored>>(m_connections);
        return CreateComObject<CEnumConnections>(IID_IEnumConnections, reinterpret_cast<void**>(connections),
                                                 std::move(snapshot));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
