// Receives a control's events on its event connection point and calls the
// page's handler functions for them.
#pragma once

#include <oaidl.h>

#include <functional>
#include <map>
#include <string>

#include "tools/pagehost/com_object.h"
#include "tools/pagehost/page_session.h"

namespace pagehost {

// Calls the page's global function `name` with the event's arguments.
using HandlerCall = std::function<HRESULT(const std::wstring& name, DISPPARAMS* arguments)>;

class EventSink final : public RefCounted, public IDispatch {
public:
    // `handlers`: event DISPID → handler function; `eventInterface` is the
    // IID under which the control's connection point may query the sink.
    EventSink(PageSession& session, IID eventInterface, std::map<DISPID, std::wstring> handlers, HandlerCall call);

    PAGEHOST_IUNKNOWN

    PAGEHOST_NO_TYPE_INFO
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    void* Find(REFIID iid);

    PageSession& session_;
    IID eventInterface_;
    std::map<DISPID, std::wstring> handlers_;
    HandlerCall call_;
};

}  // namespace pagehost
