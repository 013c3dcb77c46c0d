#include "tools/pagehost/script_engine.h"

#include <cstdio>

#include "tools/pagehost/automation.h"
#include "tools/pagehost/host_object.h"
#include "win32/unique_excepinfo.h"

namespace pagehost {

// Where each block came from, to name the place of an error.
struct ScriptBlock {
    std::string source;
    int firstLine = 1;
};

class ScriptSite final : public RefCounted, public IActiveScriptSite, public IActiveScriptSiteWindow {
public:
    explicit ScriptSite(PageSession& session) : session_(session) {}

    PAGEHOST_IUNKNOWN

    // The page's named items (its objects and `host`), and where each script
    // block came from.
    std::map<std::wstring, ComPtr<IUnknown>>& Items() { return items_; }
    std::map<DWORD, ScriptBlock>& Blocks() { return blocks_; }

    STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override {
        if (item) *item = nullptr;
        if (info) *info = nullptr;
        const auto found = name ? items_.find(name) : items_.end();
        if (found == items_.end()) return TYPE_E_ELEMENTNOTFOUND;
        if (mask & SCRIPTINFO_IUNKNOWN) {
            if (!item) return E_POINTER;
            *item = found->second.Get();
            (*item)->AddRef();
        }
        // Type information is only asked for items that source events to
        // the engine; pagehost binds events itself.
        return (mask & SCRIPTINFO_ITYPEINFO) ? E_NOTIMPL : S_OK;
    }
    STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
    STDMETHODIMP OnScriptError(IActiveScriptError* error) override {
        return ComEntry([&] {
            Report(error);
            return S_OK;
        });
    }
    STDMETHODIMP OnEnterScript() override { return S_OK; }
    STDMETHODIMP OnLeaveScript() override { return S_OK; }

    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = session_.Window();
        return S_OK;
    }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

private:
    void* Find(REFIID iid) {
        if (iid == IID_IUnknown || iid == IID_IActiveScriptSite) return static_cast<IActiveScriptSite*>(this);
        if (iid == IID_IActiveScriptSiteWindow) return static_cast<IActiveScriptSiteWindow*>(this);
        return nullptr;
    }

    void Report(IActiveScriptError* error) {
        UniqueExcepInfo exception;
        if (!error || FAILED(error->GetExceptionInfo(exception.put()))) exception->scode = E_FAIL;
        if (exception->pfnDeferredFillIn) exception->pfnDeferredFillIn(exception.get());
        const std::wstring description = exception.Description();
        const HRESULT code = exception->scode ? exception->scode : static_cast<HRESULT>(exception->wCode);
        // host.exit() unwinds the script with an exception of its own.
        if (session_.ExitRequested()) return;
        DWORD block = 0;
        ULONG line = 0;
        LONG column = 0;
        if (error) error->GetSourcePosition(&block, &line, &column);
        const ScriptBlock& where = blocks_[block];
        std::fprintf(stderr, "pagehost: script error in %s, line %lu, column %ld: %s (0x%08lX)\n", where.source.c_str(),
                     static_cast<unsigned long>(line) + where.firstLine, static_cast<long>(column) + 1,
                     Narrow(description).c_str(), static_cast<unsigned long>(code));
        std::fflush(stderr);
        session_.RequestExit(kScriptErrorExitCode);
    }

    PageSession& session_;
    std::map<std::wstring, ComPtr<IUnknown>> items_;
    std::map<DWORD, ScriptBlock> blocks_;
};

ScriptEngine::ScriptEngine(PageSession& session) : session_(session), site_(MakeCom<ScriptSite>(session)) {}

ScriptEngine::~ScriptEngine() {
    Close();
}

bool ScriptEngine::Start() {
    CLSID jscript{};
    HRESULT outcome = CLSIDFromProgID(L"JScript", &jscript);
    if (SUCCEEDED(outcome)) outcome = CoCreateInstance(jscript, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&engine_));
    if (SUCCEEDED(outcome)) outcome = engine_.As(&parser_);
    if (SUCCEEDED(outcome)) outcome = engine_->SetScriptSite(site_.Get());
    if (SUCCEEDED(outcome)) outcome = parser_->InitNew();
    if (SUCCEEDED(outcome)) outcome = engine_->SetScriptState(SCRIPTSTATE_STARTED);
    if (FAILED(outcome)) {
        std::fprintf(stderr, "pagehost: the JScript engine is not available (0x%08lX)\n",
                     static_cast<unsigned long>(outcome));
        return false;
    }
    return true;
}

void ScriptEngine::AddNamedItem(const std::wstring& name, IUnknown* item) {
    site_->Items()[name] = item;
    engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE);
}

void ScriptEngine::Run(const std::wstring& text, const std::string& source, int firstLine) {
    const DWORD block = nextBlock_++;
    site_->Blocks()[block] = {source, firstLine};
    UniqueExcepInfo exception;
    // Line numbers are counted by the engine from 0 within the block; the
    // site adds where the block begins.
    parser_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, block, 0, SCRIPTTEXT_ISVISIBLE, nullptr,
                             exception.put());
}

HRESULT ScriptEngine::CallFunction(const std::wstring& name, DISPPARAMS* arguments) {
    if (!engine_) return E_UNEXPECTED;
    ComPtr<IDispatch> global;
    HRESULT outcome = engine_->GetScriptDispatch(nullptr, &global);
    DISPID function = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    if (SUCCEEDED(outcome)) outcome = global->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &function);
    if (FAILED(outcome)) return outcome;
    DISPPARAMS none{};
    UniqueExcepInfo exception;
    UniqueVariant result;
    outcome = global->Invoke(function, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, arguments ? arguments : &none,
                             result.get(), exception.put(), nullptr);
    // An error the engine did not already report through the site.
    if (outcome == DISP_E_EXCEPTION && !session_.ExitRequested()) {
        std::fprintf(stderr, "pagehost: script error in the handler %s: %s\n", Narrow(name).c_str(),
                     exception->bstrDescription ? Narrow(exception->bstrDescription).c_str() : "(no description)");
        session_.RequestExit(kScriptErrorExitCode);
    }
    return outcome;
}

void ScriptEngine::Close() {
    if (engine_) {
        engine_->Close();
        engine_.Reset();
        parser_.Reset();
    }
    site_->Items().clear();
}

}  // namespace pagehost
