#include "tools/pagehost/hosted_control.h"

#include <objsafe.h>

#include <cstdio>
#include <map>

#include "tools/pagehost/automation.h"
#include "tools/pagehost/property_bag.h"

namespace pagehost {
namespace {

void Note(const std::string& id, const char* what, HRESULT outcome) {
    std::fprintf(stderr, "pagehost: %s: %s (0x%08lX)\n", id.c_str(), what, static_cast<unsigned long>(outcome));
}

// The class object of `classId`, from `modulePath` when one is given, else
// through the registry; either way its module is held in `modules`.
HRESULT ClassFactory(const CLSID& classId, const std::wstring& modulePath, ServerModules& modules,
                     ComPtr<IClassFactory>& factory) {
    if (modulePath.empty()) {
        const HRESULT outcome =
            CoGetClassObject(classId, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(factory.ReleaseAndGetAddressOf()));
        if (SUCCEEDED(outcome) && !modules.OfRegisteredClass(classId))
            std::fprintf(stderr,
                         "pagehost: the module of a registered class is not found; its unloading is not checked\n");
        return outcome;
    }
    const HMODULE module = modules.Load(modulePath);
    if (!module) return HRESULT_FROM_WIN32(GetLastError());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto entry =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!entry) return HRESULT_FROM_WIN32(GetLastError());
    return entry(classId, IID_IClassFactory, reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
}

// The default source interface of the coclass described by `classInfo`.
ComPtr<ITypeInfo> DefaultSource(ITypeInfo* classInfo) {
    TYPEATTR* attributes = nullptr;
    if (!classInfo || FAILED(classInfo->GetTypeAttr(&attributes))) return nullptr;
    const UINT count = attributes->cImplTypes;
    classInfo->ReleaseTypeAttr(attributes);
    for (UINT i = 0; i < count; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ComPtr<ITypeInfo> source;
        if (SUCCEEDED(classInfo->GetImplTypeFlags(i, &flags)) && (flags & IMPLTYPEFLAG_FSOURCE) &&
            (flags & IMPLTYPEFLAG_FDEFAULT) && SUCCEEDED(classInfo->GetRefTypeOfImplType(i, &reference)) &&
            SUCCEEDED(classInfo->GetRefTypeInfo(reference, &source)))
            return source;
    }
    return nullptr;
}

}  // namespace

HostedControl::HostedControl(std::string id, ComPtr<IUnknown> object, bool verbose)
    : id_(std::move(id)), object_(std::move(object)), verbose_(verbose) {}

HostedControl::~HostedControl() {
    Close();
}

std::unique_ptr<HostedControl> HostedControl::Create(const PageObject& object, HWND window, RECT area,
                                                     const HostOptions& options, ServerModules& modules) {
    CLSID classId{};
    const std::wstring braced = L"{" + Widen(object.classId) + L"}";
    if (FAILED(CLSIDFromString(braced.c_str(), &classId))) {
        std::fprintf(stderr, "pagehost: %s: classid \"%s\" is not a CLSID\n", object.id.c_str(),
                     object.classId.c_str());
        return nullptr;
    }
    ComPtr<IClassFactory> factory;
    ComPtr<IUnknown> instance;
    HRESULT outcome = ClassFactory(classId, options.modulePath, modules, factory);
    if (SUCCEEDED(outcome)) outcome = factory->CreateInstance(nullptr, IID_PPV_ARGS(&instance));
    if (FAILED(outcome)) {
        Note(object.id, "the object could not be created", outcome);
        return nullptr;
    }
    std::unique_ptr<HostedControl> control(new HostedControl(object.id, std::move(instance), options.verbose));
    control->modulePath_ = options.modulePath;
    if (FAILED(control->Initialise(object, window, area, options.pageUrl))) return nullptr;
    return control;
}

bool HostedControl::AgreesToBeSafe(REFIID iid, DWORD options, const char* what) {
    ComPtr<IObjectSafety> safety;
    // By its IID: MinGW's headers give IObjectSafety no __uuidof for As().
    if (FAILED(object_->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf()))))
        return true;
    const HRESULT outcome = safety->SetInterfaceSafetyOptions(iid, options, options);
    if (SUCCEEDED(outcome)) return true;
    Note(id_, what, outcome);
    return false;
}

// The handshake of a browser: the site first when the control asks for it,
// the control's word that it is safe with untrusted data and callers, then
// its state from the params (or as new), then the site, then in-place
// activation in the page window.
HRESULT HostedControl::Initialise(const PageObject& object, HWND window, RECT area, const std::wstring& pageUrl) {
    site_ = MakeCom<ControlSite>(window, area, Widen(object.id), pageUrl);
    object_.As(&oleObject_);
    DWORD status = 0;
    if (oleObject_) oleObject_->GetMiscStatus(DVASPECT_CONTENT, &status);
    const bool siteFirst = (status & OLEMISC_SETCLIENTSITEFIRST) != 0;
    if (oleObject_ && siteFirst) oleObject_->SetClientSite(site_.Get());

    // A refusal leaves the control unscripted and uninitialised, as a
    // browser leaves it; the page goes on without it.
    refused_ = (!object.params.empty() &&
                !AgreesToBeSafe(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                "refused to be initialised from untrusted params; its params are not loaded")) ||
               !AgreesToBeSafe(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                               "refused to be scripted by an untrusted page; the page sees it as null");
    if (refused_) return S_OK;

    ComPtr<IPersistPropertyBag> bag;
    ComPtr<IPersistStreamInit> stream;
    HRESULT outcome = E_NOINTERFACE;
    if (SUCCEEDED(object_.As(&bag))) {
        outcome = object.params.empty() ? bag->InitNew() : bag->Load(MakeParamBag(object.params).Get(), nullptr);
        // A control that cannot read params yet still works as new.
        if (outcome == E_NOTIMPL && !object.params.empty()) {
            Note(id_, "cannot load its params (not implemented); initialising it as new", outcome);
            outcome = bag->InitNew();
        }
    } else if (SUCCEEDED(object_.As(&stream))) {
        outcome = stream->InitNew();
    }
    if (FAILED(outcome)) {
        Note(id_, object.params.empty() ? "refused to be initialised as new" : "refused its params", outcome);
        return outcome;
    }
    if (verbose_) Note(id_, object.params.empty() ? "initialised as new" : "initialised from its params", outcome);

    if (!oleObject_) {
        Note(id_, "has no IOleObject: it is scripted, but not shown", E_NOINTERFACE);
        return S_OK;
    }
    if (!siteFirst) oleObject_->SetClientSite(site_.Get());
    outcome = oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, window, &area);
    if (FAILED(outcome))
        Note(id_, "refused in-place activation; it is scripted, but not shown", outcome);
    else if (verbose_)
        Note(id_, "active in place", outcome);
    return S_OK;
}

// The control's event interface: through its class information as a
// browser finds it, else from the type library in the module it came from.
ComPtr<ITypeInfo> HostedControl::EventTypeInfo(IID& eventInterface) const {
    ComPtr<IProvideClassInfo> provider;
    ComPtr<ITypeInfo> classInfo;
    if (SUCCEEDED(object_.As(&provider))) provider->GetClassInfo(&classInfo);
    if (!classInfo && !modulePath_.empty()) {
        ComPtr<ITypeLib> library;
        ComPtr<IPersist> persist;
        CLSID classId{};
        if (SUCCEEDED(LoadTypeLibEx(modulePath_.c_str(), REGKIND_NONE, &library)) && SUCCEEDED(object_.As(&persist)) &&
            SUCCEEDED(persist->GetClassID(&classId)))
            library->GetTypeInfoOfGuid(classId, &classInfo);
    }
    ComPtr<ITypeInfo> source = DefaultSource(classInfo.Get());
    TYPEATTR* attributes = nullptr;
    if (!source || FAILED(source->GetTypeAttr(&attributes))) return nullptr;
    eventInterface = attributes->guid;
    source->ReleaseTypeAttr(attributes);
    return source;
}

bool HostedControl::ConnectEvents(const std::vector<EventBinding>& bindings, PageSession& session, HandlerCall call) {
    std::vector<const EventBinding*> mine;
    for (const auto& binding : bindings)
        if (binding.objectId == id_) mine.push_back(&binding);
    if (mine.empty()) return true;

    IID eventInterface{};
    const ComPtr<ITypeInfo> events = EventTypeInfo(eventInterface);
    ComPtr<IConnectionPointContainer> container;
    if (!events || FAILED(object_.As(&container)) ||
        FAILED(container->FindConnectionPoint(eventInterface, &eventPoint_))) {
        std::fprintf(stderr, "pagehost: %s: the page handles its events, but it has no event source\n", id_.c_str());
        return false;
    }
    std::map<DISPID, std::wstring> handlers;
    for (const EventBinding* binding : mine) {
        std::wstring name = Widen(binding->event);
        LPOLESTR names[] = {name.data()};
        MEMBERID member = 0;
        if (FAILED(events->GetIDsOfNames(names, 1, &member))) {
            std::fprintf(stderr, "pagehost: %s has no event %s\n", id_.c_str(), binding->event.c_str());
            return false;
        }
        handlers[member] = Widen(binding->function);
    }
    auto sink = MakeCom<EventSink>(session, eventInterface, std::move(handlers), std::move(call));
    const HRESULT outcome = eventPoint_->Advise(static_cast<IDispatch*>(sink.Get()), &eventCookie_);
    if (FAILED(outcome)) {
        Note(id_, "refused the page's event sink", outcome);
        eventPoint_.Reset();
        return false;
    }
    return true;
}

void HostedControl::Close() {
    if (eventPoint_) {
        eventPoint_->Unadvise(eventCookie_);
        eventPoint_.Reset();
    }
    if (oleObject_) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(oleObject_.As(&inPlace))) inPlace->InPlaceDeactivate();
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->SetClientSite(nullptr);
        oleObject_.Reset();
    }
    object_.Reset();
    site_.Reset();
}

}  // namespace pagehost
