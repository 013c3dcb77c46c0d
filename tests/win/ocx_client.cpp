#include "tests/win/ocx_client.h"

#include "win32/module_file_name.h"

namespace veldorinctl::test {

std::wstring BesideTestProgram(const wchar_t* name) {
    std::wstring path = ModuleFileName<wchar_t>(nullptr);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + name;
}

LoadedOcx::LoadedOcx() : module_(::LoadLibraryW(BesideTestProgram(L"VELDORINCTL.OCX").c_str())) {
    EXPECT_NE(module_, nullptr) << "VELDORINCTL.OCX did not load: " << ::GetLastError();
}

LoadedOcx::~LoadedOcx() {
    if (module_) ::FreeLibrary(module_);
}

template <typename Function>
Function LoadedOcx::Export(const char* name) const {
    auto* address = module_ ? ::GetProcAddress(module_, name) : nullptr;
    EXPECT_NE(address, nullptr) << name << " is not exported";
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

HRESULT LoadedOcx::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
    auto function = Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
    return function ? function(clsid, riid, ppv) : E_FAIL;
}

HRESULT LoadedOcx::CanUnloadNow() const {
    auto function = Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow");
    return function ? function() : E_FAIL;
}

HRESULT LoadedOcx::RegisterServer() const {
    auto function = Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
    return function ? function() : E_FAIL;
}

HRESULT LoadedOcx::UnregisterServer() const {
    auto function = Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
    return function ? function() : E_FAIL;
}

ComPtr<IClassFactory> LoadedOcx::ControlFactory() const {
    ComPtr<IClassFactory> factory;
    EXPECT_HRESULT_SUCCEEDED(
        GetClassObject(CLSID_VELDORINCTL, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())));
    return factory;
}

ComPtr<IDispatch> CreateControl(const LoadedOcx& ocx, bool initialise) {
    ComPtr<IDispatch> control;
    const ComPtr<IClassFactory> factory = ocx.ControlFactory();
    if (!factory) return control;
    EXPECT_HRESULT_SUCCEEDED(
        factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(control.GetAddressOf())));
    if (control && initialise) {
        ComPtr<IPersistStreamInit> persist;
        EXPECT_HRESULT_SUCCEEDED(control.As(&persist));
        if (persist) {
            EXPECT_HRESULT_SUCCEEDED(persist->InitNew());
        }
    }
    return control;
}

UniqueVariant Long(long value) {
    UniqueVariant argument;
    argument->vt = VT_I4;
    argument->lVal = value;
    return argument;
}

UniqueVariant Text(const wchar_t* text) {
    UniqueVariant argument;
    argument->vt = VT_BSTR;
    argument->bstrVal = text ? ::SysAllocString(text) : nullptr;
    return argument;
}

UniqueVariant Null() {
    UniqueVariant argument;
    argument->vt = VT_NULL;
    return argument;
}

std::wstring Outcome::Text() const {
    if (result->vt != VT_BSTR) return L"<not a string>";
    return result->bstrVal ? std::wstring(result->bstrVal, ::SysStringLen(result->bstrVal)) : L"";
}

std::unique_ptr<Outcome> Call(IDispatch* control, DISPID dispid, std::vector<UniqueVariant*> arguments) {
    auto outcome = std::make_unique<Outcome>();
    // DISPPARAMS lists the last argument first.
    std::vector<VARIANT> reversed;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) reversed.push_back(*(*it)->get());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    outcome->hr = control->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                  outcome->result.put(), outcome->exception.put(), &outcome->argError);
    return outcome;
}

DISPID IdOf(IDispatch* control, const wchar_t* name, LCID lcid) {
    DISPID id = 12345;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, lcid, &id);
    EXPECT_HRESULT_SUCCEEDED(hr) << "looking up " << std::string(name, name + wcslen(name));
    return id;
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    const bool known = riid == IID_IUnknown || (answerDispatch_ && riid == IID_IDispatch) ||
                       (answerEventInterface_ && riid == DIID__DVELDORINCTLEvents);
    if (!known) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IDispatch*>(this);
    return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT*) {
    SinkCall call{
        name_, dispid, L"", true, params ? params->cArgs : 0, flags, result != nullptr, ::GetCurrentThreadId()};
    if (params && params->cArgs == 1 && params->rgvarg[0].vt == VT_BSTR && params->rgvarg[0].bstrVal) {
        call.text.assign(params->rgvarg[0].bstrVal, ::SysStringLen(params->rgvarg[0].bstrVal));
        call.textWasNull = false;
    }
    log_.Add(std::move(call));
    if (result_ == DISP_E_EXCEPTION && exception) {
        // A sink reporting an exception hands the caller strings to free.
        exception->wCode = 1001;
        exception->bstrDescription = ::SysAllocString(L"the sink failed");
    }
    return result_;
}

DWORD Connect(IDispatch* control, IUnknown* sink) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    EXPECT_HRESULT_SUCCEEDED(control->QueryInterface(IID_PPV_ARGS(&container)));
    if (container) {
        EXPECT_HRESULT_SUCCEEDED(container->FindConnectionPoint(DIID__DVELDORINCTLEvents, &point));
    }
    if (point) {
        EXPECT_HRESULT_SUCCEEDED(point->Advise(sink, &cookie));
    }
    return cookie;
}

void Disconnect(IDispatch* control, DWORD cookie) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    EXPECT_HRESULT_SUCCEEDED(control->QueryInterface(IID_PPV_ARGS(&container)));
    if (container) {
        EXPECT_HRESULT_SUCCEEDED(container->FindConnectionPoint(DIID__DVELDORINCTLEvents, &point));
    }
    if (point) {
        EXPECT_HRESULT_SUCCEEDED(point->Unadvise(cookie));
    }
}

}  // namespace veldorinctl::test
