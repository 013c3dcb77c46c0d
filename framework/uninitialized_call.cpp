#include "framework/uninitialized_call.h"

#include <oleauto.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

HRESULT RefuseUninitializedCall(REFIID iid) {
    ComPtr<ICreateErrorInfo> created;
    ComPtr<IErrorInfo> info;
    // Without error information the call is still refused, only silently.
    if (SUCCEEDED(::CreateErrorInfo(created.GetAddressOf())) && SUCCEEDED(created->SetGUID(iid)) &&
        SUCCEEDED(created->SetDescription(const_cast<LPOLESTR>(kUninitializedCallDescription))) &&
        SUCCEEDED(created.As(&info))) {
        ::SetErrorInfo(0, info.Get());
    }
    return E_UNEXPECTED;
}
