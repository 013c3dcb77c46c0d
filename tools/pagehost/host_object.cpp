#include "tools/pagehost/host_object.h"

#include "tools/pagehost/automation.h"
#include "tools/pagehost/named_dispatch.h"

namespace pagehost {
namespace {

class HostObject final : public NamedDispatch {
public:
    HostObject(PageSession& session, ComPtr<IDispatch> sim)
        : NamedDispatch({L"echo", L"exit", L"wait", L"threadId", L"pageThreadId", L"foreignThreadEvents", L"sim"}),
          session_(session),
          sim_(std::move(sim)) {}

private:
    enum Member { kEcho, kExit, kWait, kThreadId, kPageThreadId, kForeignThreadEvents, kSim };

    HRESULT Call(size_t member, WORD, const Arguments& arguments, VARIANT* result, EXCEPINFO* exception) override {
        switch (member) {
            case kEcho:
                session_.Echo(ArgumentText(arguments[0]));
                return S_OK;
            case kExit:
                session_.RequestExit(ArgumentNumber(arguments[0], 0));
                // Unwinds the running script: nothing after exit() runs.
                return ScriptException(exception, L"the page exited", kPageExiting);
            case kWait:
                session_.Wait(static_cast<DWORD>(std::max(0, ArgumentNumber(arguments[0], 0))));
                return S_OK;
            case kThreadId:
                return ReturnNumber(result, static_cast<int>(GetCurrentThreadId()));
            case kPageThreadId:
                return ReturnNumber(result, static_cast<int>(session_.PageThread()));
            case kForeignThreadEvents:
                return ReturnNumber(result, session_.ForeignThreadEvents());
            case kSim:
                return ReturnSim(result);
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    HRESULT ReturnSim(VARIANT* result) {
        if (!result) return S_OK;
        if (!sim_) {
            result->vt = VT_NULL;
            return S_OK;
        }
        result->vt = VT_DISPATCH;
        result->pdispVal = sim_.Get();
        result->pdispVal->AddRef();
        return S_OK;
    }

    PageSession& session_;
    ComPtr<IDispatch> sim_;
};

}  // namespace

ComPtr<IDispatch> MakeHostObject(PageSession& session, ComPtr<IDispatch> sim) {
    return MakeCom<HostObject>(session, std::move(sim));
}

}  // namespace pagehost
