#include "tools/pagehost/event_sink.h"

#include <cstdio>

namespace pagehost {

EventSink::EventSink(PageSession& session, IID eventInterface, std::map<DISPID, std::wstring> handlers,
                     HandlerCall call)
    : session_(session), eventInterface_(eventInterface), handlers_(std::move(handlers)), call_(std::move(call)) {}

void* EventSink::Find(REFIID iid) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == eventInterface_) return static_cast<IDispatch*>(this);
    return nullptr;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
    return ComEntry([&] {
        if (result) VariantInit(result);
        // The script engine belongs to the page's thread, as in a browser;
        // an event from elsewhere is a fault of the control. It is still
        // delivered (a page must see it to fail), and counted.
        if (GetCurrentThreadId() != session_.PageThread()) {
            session_.CountForeignThreadEvent();
            std::fprintf(stderr, "pagehost: event %ld arrived on thread %lu, not on the page's thread %lu\n",
                         static_cast<long>(id), GetCurrentThreadId(), session_.PageThread());
        }
        const auto handler = handlers_.find(id);
        if (handler == handlers_.end() || session_.ExitRequested()) return S_OK;
        return call_(handler->second, params);
    });
}

}  // namespace pagehost
