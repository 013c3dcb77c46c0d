#include "framework/ole_control.h"

#include <olectl.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "win32/entry_barrier.h"
#include "win32/unique_excepinfo.h"
#include "win32/window_dc.h"
#include "framework/dispatch.h"
#include "framework/enumerator.h"
#include "framework/text_conversion.h"
#include "framework/uninitialized_call.h"

using Microsoft::WRL::ComPtr;

const CRuntimeClass COleControl::classCOleControl{"COleControl", nullptr, nullptr};
const DispatchMap COleControl::dispatchMap{nullptr, {}};
const EventMap COleControl::eventMap{{}};

namespace {

// A control starts 100 by 50 pixels large; its extent is kept in HIMETRIC
// (hundredths of a millimetre) at the screen's resolution.
constexpr SIZE kInitialSizePixels{100, 50};

SIZEL PixelsToHimetric(SIZE pixels) {
    const WindowDC screen(nullptr);
    const int dpiX = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
    const int dpiY = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
    return SIZEL{::MulDiv(pixels.cx, 2540, dpiX > 0 ? dpiX : 96), ::MulDiv(pixels.cy, 2540, dpiY > 0 ? dpiY : 96)};
}

}  // namespace

COleControl::COleControl()
    : m_eventPoint(*this, *this, IID_NULL, true),
      m_propertyNotifyPoint(*this, *this, IID_IPropertyNotifySink, false),
      m_extent(PixelsToHimetric(kInitialSizePixels)),
      m_defaultExtent(m_extent) {}

// The window goes first, unhooked from this object, whose derived part is
// gone already; the container's pointers are released with the members.
COleControl::~COleControl() {
    if (m_window) ::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, 0);
    m_window.reset();
}

void COleControl::InitializeIIDs(const IID* primary, const IID* events) {
    m_primaryIid = primary;
    m_eventsIid = events;
    m_eventPoint.SetInterface(*events);
}

std::span<const InterfaceEntry> COleControl::GetInterfaceTable() const {
    static constexpr InterfaceEntry table[] = {
        InterfaceOf<COleControl, IDispatch>(IID_IDispatch),
        InterfaceOf<COleControl, IConnectionPointContainer>(IID_IConnectionPointContainer),
        InterfaceOf<COleControl, IProvideClassInfo2>(IID_IProvideClassInfo),
        InterfaceOf<COleControl, IProvideClassInfo2>(IID_IProvideClassInfo2),
        InterfaceOf<COleControl, IPersistStreamInit>(IID_IPersist),
        InterfaceOf<COleControl, IPersistStreamInit>(IID_IPersistStreamInit),
        InterfaceOf<COleControl, IPersistStorage>(IID_IPersistStorage),
        InterfaceOf<COleControl, IPersistPropertyBag>(IID_IPersistPropertyBag),
        InterfaceOf<COleControl, IOleObject>(IID_IOleObject),
        InterfaceOf<COleControl, IOleInPlaceObject>(IID_IOleWindow),
        InterfaceOf<COleControl, IOleInPlaceObject>(IID_IOleInPlaceObject),
        InterfaceOf<COleControl, IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject),
        InterfaceOf<COleControl, IOleControl>(IID_IOleControl),
        InterfaceOf<COleControl, IViewObject2>(IID_IViewObject),
        InterfaceOf<COleControl, IViewObject2>(IID_IViewObject2),
        InterfaceOf<COleControl, ISpecifyPropertyPages>(IID_ISpecifyPropertyPages),
        InterfaceOf<COleControl, ISupportErrorInfo>(IID_ISupportErrorInfo),
        InterfaceOf<COleControl, IObjectSafety>(IID_IObjectSafety),
    };
    return table;
}

IUnknown* COleControl::QueryRuntimeInterface(REFIID riid) {
    if (m_primaryIid && riid == *m_primaryIid) return static_cast<IDispatch*>(this);
    return nullptr;
}

const DispatchMap& COleControl::GetDispatchMap() const {
    return dispatchMap;
}

const EventMap& COleControl::GetEventMap() const {
    return eventMap;
}

HRESULT COleControl::GetTypeLib(LCID, ITypeLib** typeLib) {
    if (typeLib) *typeLib = nullptr;
    return TYPE_E_CANTLOADLIBRARY;
}

UINT COleControl::GetUserTypeNameID() const {
    return 0;
}

DWORD COleControl::GetMiscStatus() const {
    return 0;
}

HRESULT COleControl::GetPrimaryTypeInfo(LCID lcid, ITypeInfo** info) {
    *info = nullptr;
    if (!m_primaryIid) return TYPE_E_ELEMENTNOTFOUND;
    ComPtr<ITypeLib> typeLib;
    const HRESULT hr = GetTypeLib(lcid, typeLib.GetAddressOf());
    if (FAILED(hr)) return hr;
    if (!typeLib) return TYPE_E_CANTLOADLIBRARY;
    return typeLib->GetTypeInfoOfGuid(*m_primaryIid, info);
}

// IDispatch

STDMETHODIMP COleControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP COleControl::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    return ComEntry([&] {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return GetPrimaryTypeInfo(lcid, info);
    });
}

STDMETHODIMP COleControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
    return ComEntry([&]() -> HRESULT {
        if (!names || !ids) return E_POINTER;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (count == 0) return E_INVALIDARG;
        if (lcid != 0) {
            ComPtr<ITypeInfo> info;
            if (SUCCEEDED(GetPrimaryTypeInfo(lcid, info.GetAddressOf()))) {
                return info->GetIDsOfNames(names, count, ids);
            }
        }
        const auto id = FindDispatchId(GetDispatchMap(), names[0]);
        if (!id) return DISP_E_UNKNOWNNAME;
        ids[0] = *id;
        // The map knows no parameter names: further names stay unknown.
        return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    });
}

STDMETHODIMP COleControl::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* argError) {
    return ComEntry([&]() -> HRESULT {
        if (exception) *exception = EXCEPINFO{};
        if (result) ::VariantInit(result);
        // A caller that finds error information after a failed call must
        // not find an earlier call's.
        ::SetErrorInfo(0, nullptr);
        if (!m_initialized) return RefuseUninitializedCall(m_primaryIid ? *m_primaryIid : IID_IDispatch);
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_INVALIDARG;
        // Every entry is a method; scripts read a method's result with
        // DISPATCH_METHOD, DISPATCH_PROPERTYGET or both.
        if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
        const DispatchEntry* entry = FindDispatchEntry(GetDispatchMap(), dispid);
        if (!entry) return DISP_E_MEMBERNOTFOUND;
        return InvokeDispatchEntry(*this, *entry, *params, result, exception, argError);
    });
}

STDMETHODIMP COleControl::InterfaceSupportsErrorInfo(REFIID riid) {
    const bool dispatch = riid == IID_IDispatch || (m_primaryIid && riid == *m_primaryIid);
    return dispatch ? S_OK : S_FALSE;
}

// Stock method and events

void COleControl::DoClick() {
    FireEvent(DISPID_CLICK, {});
}

namespace {

bool ArgumentsMatch(const EventEntry& entry, std::initializer_list<EventArgument> arguments) {
    if (entry.params.size() != arguments.size()) return false;
    size_t i = 0;
    for (const EventArgument& argument : arguments) {
        const VARTYPE type = entry.params[i++];
        if (type == VTS_I4 && !std::holds_alternative<long>(argument)) return false;
        if (type == VTS_BSTR && !std::holds_alternative<const char*>(argument)) return false;
        if (type != VTS_I4 && type != VTS_BSTR) return false;
    }
    return true;
}

// The arguments of one sink call, in the reversed order of DISPPARAMS,
// cleared (strings freed) when the call is over.
class EventArguments {
public:
    explicit EventArguments(std::initializer_list<EventArgument> arguments) : count_(arguments.size()) {
        try {
            Fill(arguments);
        } catch (...) {
            Clear();  // the strings made before the failure
            throw;
        }
    }
    ~EventArguments() { Clear(); }
    EventArguments(const EventArguments&) = delete;
    EventArguments& operator=(const EventArguments&) = delete;

    DISPPARAMS Params() { return DISPPARAMS{values_.data(), nullptr, static_cast<UINT>(count_), 0}; }

private:
    void Fill(std::initializer_list<EventArgument> arguments) {
        size_t slot = count_;
        for (const EventArgument& argument : arguments) {
            VARIANT& value = values_[--slot];
            ::VariantInit(&value);
            if (const long* number = std::get_if<long>(&argument)) {
                value.vt = VT_I4;
                value.lVal = *number;
            } else if (const char* text = std::get<const char*>(argument)) {
                value.bstrVal = AnsiTextToBstr(std::string_view(text, std::strlen(text))).release();
                value.vt = VT_BSTR;
            } else {
                value.vt = VT_BSTR;
                value.bstrVal = nullptr;
            }
        }
    }
    void Clear() {
        for (size_t i = 0; i < count_; ++i) ::VariantClear(&values_[i]);
    }

    std::array<VARIANT, kMaxDispatchParams> values_{};  // zeroed: VT_EMPTY
    size_t count_;
};

void InvokeSink(IDispatch* sink, DISPID dispid, std::initializer_list<EventArgument> arguments) {
    EventArguments values(arguments);
    DISPPARAMS params = values.Params();
    // A sink that reports an exception hands us its strings.
    UniqueExcepInfo exception;
    UINT argError = 0;
    sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, exception.put(), &argError);
}

}  // namespace

void COleControl::FireEvent(DISPID dispid, std::initializer_list<EventArgument> arguments) {
    if (AreEventsFrozen()) return;
    const EventEntry* entry = FindEvent(GetEventMap(), dispid);
    if (!entry || arguments.size() > kMaxDispatchParams || !ArgumentsMatch(*entry, arguments)) return;
    std::vector<ComPtr<IUnknown>> sinks;
    try {
        sinks = m_eventPoint.Sinks();
    } catch (...) {
        return;
    }
    for (const ComPtr<IUnknown>& sink : sinks) {
        // Connected as the event dispinterface or as IDispatch: either way
        // the pointer has IDispatch's layout.
        try {
            InvokeSink(static_cast<IDispatch*>(static_cast<void*>(sink.Get())), dispid, arguments);
        } catch (...) {
            // A sink that cannot be given its arguments is skipped, as one
            // that fails is; the next is still called.
        }
    }
}

// IConnectionPointContainer

STDMETHODIMP COleControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return ComEntry([&] {
        if (!points) return E_POINTER;
        *points = nullptr;
        auto snapshot = std::make_shared<const std::vector<ComPtr<IConnectionPoint>>>(
            std::vector<ComPtr<IConnectionPoint>>{&m_eventPoint, &m_propertyNotifyPoint});
        return CreateComObject<CEnumConnectionPoints>(IID_IEnumConnectionPoints, reinterpret_cast<void**>(points),
                                                      std::move(snapshot));
    });
}

STDMETHODIMP COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    CConnectionPoint* found = nullptr;
    if (m_eventsIid && riid == *m_eventsIid) found = &m_eventPoint;
    if (riid == IID_IPropertyNotifySink) found = &m_propertyNotifyPoint;
    if (!found) return CONNECT_E_NOCONNECTION;
    found->AddRef();
    *point = found;
    return S_OK;
}

// IProvideClassInfo2

STDMETHODIMP COleControl::GetClassInfo(ITypeInfo** info) {
    return ComEntry([&]() -> HRESULT {
        if (!info) return E_POINTER;
        *info = nullptr;
        CLSID classId{};
        HRESULT hr = GetClassID(&classId);
        if (FAILED(hr)) return hr;
        ComPtr<ITypeLib> typeLib;
        hr = GetTypeLib(0, typeLib.GetAddressOf());
        if (FAILED(hr)) return hr;
        if (!typeLib) return TYPE_E_CANTLOADLIBRARY;
        return typeLib->GetTypeInfoOfGuid(classId, info);
    });
}

STDMETHODIMP COleControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    *guid = GUID_NULL;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID || !m_eventsIid) return E_INVALIDARG;
    *guid = *m_eventsIid;
    return S_OK;
}
