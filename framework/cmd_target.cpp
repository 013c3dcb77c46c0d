#include "framework/cmd_target.h"

#include "framework/module_state.h"

CCmdTarget::CCmdTarget() {
    AfxOleLockApp();
}

CCmdTarget::~CCmdTarget() {
    AfxOleUnlockApp();
}

ULONG CCmdTarget::InternalAddRef() {
    return m_references.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CCmdTarget::InternalRelease() {
    const ULONG left = m_references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

HRESULT CCmdTarget::InternalQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const auto table = GetInterfaceTable();
    IUnknown* found = nullptr;
    if (riid == IID_IUnknown && !table.empty()) {
        found = table.front().cast(this);
    } else {
        for (const InterfaceEntry& entry : table) {
            if (*entry.iid == riid) {
                found = entry.cast(this);
                break;
            }
        }
    }
    if (!found) found = QueryRuntimeInterface(riid);
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *ppv = found;
    return S_OK;
}

IUnknown* CCmdTarget::QueryRuntimeInterface(REFIID) {
    return nullptr;
}
