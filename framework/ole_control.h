// The base of an ActiveX control: its COM face toward scripts and containers.
//
//  - IDispatch over the control's dispatch map (names through the registered
//    type information when the caller gives a locale, else through the map);
//    every call is refused with E_UNEXPECTED until the container has
//    initialised the control;
//  - IConnectionPointContainer with a point for the event interface and one
//    for IPropertyNotifySink, and event firing over the event map;
//  - IProvideClassInfo2 from the type library's coclass;
//  - IPersistStreamInit and IPersistPropertyBag, through which a container
//    initialises the control as new.
//
// The derived control names its interfaces with InitializeIIDs and supplies
// its maps, type library and class id by overriding the virtual getters.
// Apartment model: everything here runs on the thread that created the
// control.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <initializer_list>
#include <span>
#include <variant>

#include "framework/cmd_target.h"
#include "framework/connection_point.h"
#include "framework/dispatch_map.h"
#include "framework/event_map.h"
#include "framework/runtime_class.h"

// One argument of an event: a 32-bit integer or 8-bit text (which each sink
// receives as a new automation string in the firing thread's code page).
using EventArgument = std::variant<long, const char*>;

class COleControl
    : public ComObjectRoot<IDispatch, IConnectionPointContainer, IProvideClassInfo2, IPersistStreamInit,
                           IPersistPropertyBag> {
public:
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IPersist: the derived control says which class it is.
    STDMETHODIMP GetClassID(CLSID* classId) override = 0;

    // IPersistStreamInit. Loading and saving state come with the control's
    // persistence; until then they report E_NOTIMPL.
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* stream) override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;  // also IPersistPropertyBag's

    // IPersistPropertyBag
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    static const CRuntimeClass classCOleControl;  // abstract: no creation function

    // The stock method DoClick: click handling for the left button, which
    // fires the stock Click event only when the event map lists it.
    void DoClick();

protected:
    COleControl();
    ~COleControl() override;

    // Names the primary dispatch interface (answered by QueryInterface and
    // used for type information) and the event interface (its connection
    // point). Called once by the derived constructor.
    void InitializeIIDs(const IID* primary, const IID* events);

    virtual const DispatchMap& GetDispatchMap() const;
    virtual const EventMap& GetEventMap() const;
    // The control's type library for `lcid`; the base has none.
    virtual HRESULT GetTypeLib(LCID lcid, ITypeLib** typeLib);
    virtual UINT GetUserTypeNameID() const;
    virtual DWORD GetMiscStatus() const;
    // Sets the control's state to its defaults (initialisation as new).
    virtual void OnResetState();

    // Calls every sink of the event connection point once, in connection
    // order, ignoring their failures. Nothing is fired when the event map
    // has no entry for `dispid` with parameters of these kinds.
    void FireEvent(DISPID dispid, std::initializer_list<EventArgument> arguments);

    bool IsInitialized() const { return initialized_; }

    // The framework's maps behind every control's own: empty.
    static const DispatchMap dispatchMap;
    static const EventMap eventMap;

private:
    std::span<const InterfaceEntry> GetInterfaceTable() const override;
    IUnknown* QueryRuntimeInterface(REFIID riid) override;
    HRESULT GetPrimaryTypeInfo(LCID lcid, ITypeInfo** info);
    HRESULT InitializeAsNew();

    const IID* primaryIid_ = nullptr;
    const IID* eventsIid_ = nullptr;
    CConnectionPoint eventPoint_;
    CConnectionPoint propertyNotifyPoint_;
    bool initialized_ = false;
};
