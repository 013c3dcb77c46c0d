// IDispatch for the objects pagehost gives the page (host, host.sim, ...):
// members found by name without regard to case, DISPID = position + 1, and
// positional arguments handed to one `Call` per object.
#pragma once

#include <oaidl.h>

#include <string>
#include <vector>

#include "tools/pagehost/com_object.h"

namespace pagehost {

// The arguments of one call, first argument first; a missing one reads as
// VT_EMPTY (the script's undefined).
class Arguments {
public:
    explicit Arguments(const DISPPARAMS* params) : params_(params) {}
    const VARIANT& operator[](unsigned index) const;
    unsigned size() const { return params_ ? params_->cArgs - params_->cNamedArgs : 0; }

private:
    const DISPPARAMS* params_;
    VARIANT empty_{};
};

class NamedDispatch : public RefCounted, public IDispatch {
public:
    PAGEHOST_IUNKNOWN

    PAGEHOST_NO_TYPE_INFO
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                        UINT* argumentError) override;

protected:
    explicit NamedDispatch(std::vector<std::wstring> members) : members_(std::move(members)) {}
    // `member` is the index in the list given to the constructor.
    virtual HRESULT Call(size_t member, WORD flags, const Arguments& arguments, VARIANT* result,
                         EXCEPINFO* exception) = 0;

private:
    void* Find(REFIID iid);
    std::vector<std::wstring> members_;
};

// Fills `exception` so that the script sees an error with this text.
HRESULT ScriptException(EXCEPINFO* exception, const wchar_t* description, HRESULT code = E_FAIL);

}  // namespace pagehost
