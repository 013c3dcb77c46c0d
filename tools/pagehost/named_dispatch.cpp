#include "tools/pagehost/named_dispatch.h"

#include <cwchar>

namespace pagehost {

const VARIANT& Arguments::operator[](unsigned index) const {
    // DISPPARAMS holds the positional arguments last first.
    if (index >= size()) return empty_;
    return params_->rgvarg[params_->cArgs - 1 - index];
}

void* NamedDispatch::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch) return static_cast<IDispatch*>(this);
    return nullptr;
}

STDMETHODIMP NamedDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT outcome = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        for (size_t member = 0; member < members_.size(); ++member)
            if (i == 0 && _wcsicmp(names[i], members_[member].c_str()) == 0) ids[i] = static_cast<DISPID>(member + 1);
        if (ids[i] == DISPID_UNKNOWN) outcome = DISP_E_UNKNOWNNAME;
    }
    return outcome;
}

STDMETHODIMP NamedDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argumentError) {
    return ComEntry([&] {
        if (argumentError) *argumentError = 0;
        if (result) VariantInit(result);
        if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
        return Call(static_cast<size_t>(id - 1), flags, Arguments(params), result, exception);
    });
}

HRESULT ScriptException(EXCEPINFO* exception, const wchar_t* description, HRESULT code) {
    if (!exception) return code;
    *exception = EXCEPINFO{};
    exception->bstrSource = SysAllocString(L"pagehost");
    exception->bstrDescription = SysAllocString(description);
    exception->scode = code;
    return DISP_E_EXCEPTION;
}

}  // namespace pagehost
