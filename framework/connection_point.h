// One connection point of an object: the sinks connected for one outgoing
// interface, in the order they connected. The point is part of its owner: it
// shares the owner's reference count and lives exactly as long as the owner.
// Like its owner (an apartment-model object), it is used on one thread.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include <vector>

#include "framework/cmd_target.h"
#include "framework/enumerator.h"

class CConnectionPoint final : public IConnectionPoint {
public:
    // `acceptDispatch`: the outgoing interface is a dispinterface, so a sink
    // that offers only IDispatch may connect too.
    CConnectionPoint(CCmdTarget& owner, IConnectionPointContainer& container, const IID& iid, bool acceptDispatch);
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    // The outgoing interface, when it is known only after construction.
    void SetInterface(const IID& iid) { m_iid = iid; }

    // The connected sinks in connection order, each as the interface it
    // connected with. A copy, so sinks may connect and disconnect while the
    // caller goes through it.
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> Sinks() const;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    CCmdTarget& m_owner;
    IConnectionPointContainer& m_container;
    IID m_iid;
    const bool m_acceptDispatch;
    std::vector<ConnectionItems::Stored> m_connections;
    DWORD m_nextCookie = 1;
};
