// The base of an ActiveX control: its COM face toward scripts and containers.
//
//  - IDispatch over the control's dispatch map (names through the registered
//    type information when the caller gives a locale, else through the map);
//    every call is refused with E_UNEXPECTED until the container has
//    initialised the control, with an error description (ISupportErrorInfo)
//    that tells a script author why;
//  - IConnectionPointContainer with a point for the event interface and one
//    for IPropertyNotifySink, and event firing over the event map;
//  - IProvideClassInfo2 from the type library's coclass;
//  - persistence (IPersistStreamInit, IPersistStorage, IPersistPropertyBag)
//    through one property exchange, DoPropExchange;
//  - the OLE object a container embeds (IOleObject with its verbs, the
//    properties verb among them, IOleControl, IViewObject2, in-place
//    activation in a child window that paints through OnDraw) and
//    ISpecifyPropertyPages;
//  - IObjectSafety, reporting what the derived control declares safe and
//    refusing the container when the control refuses its site.
//
// The derived control names its interfaces with InitializeIIDs and supplies
// its maps, type library and class id by overriding the virtual getters.
// Apartment model: everything here runs on the thread that created the
// control.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objsafe.h>
#include <ocidl.h>

#include <wrl/client.h>

#include <initializer_list>
#include <memory>
#include <span>
#include <variant>

#include "framework/cmd_target.h"
#include "framework/connection_point.h"
#include "framework/dispatch_map.h"
#include "framework/event_map.h"
#include "framework/prop_exchange.h"
#include "framework/runtime_class.h"
#include "framework/window_class.h"
#include "win32/unique_window.h"

// One argument of an event: a 32-bit integer or 8-bit text (which each sink
// receives as a new automation string in the firing thread's code page).
using EventArgument = std::variant<long, const char*>;

class COleControl
    : public ComObjectRoot<IDispatch, IConnectionPointContainer, IProvideClassInfo2, IPersistStreamInit,
                           IPersistStorage, IPersistPropertyBag, IOleObject, IOleInPlaceObject, IOleInPlaceActiveObject,
                           IOleControl, IViewObject2, ISpecifyPropertyPages, ISupportErrorInfo, IObjectSafety> {
public:
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override;

    // ISupportErrorInfo: the dispatch interface sets error information.
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IPersist: the derived control says which class it is.
    STDMETHODIMP GetClassID(CLSID* classId) override = 0;

    // IPersistStreamInit (IsDirty is IPersistStorage's too)
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(IStream* stream) override;
    STDMETHODIMP Save(IStream* stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;  // also IPersistPropertyBag's

    // IPersistStorage: the values live in the storage's "Contents" stream.
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;

    // IPersistPropertyBag
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT position) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* classId) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* userType) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;  // also IViewObject2's, by its other signature
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advises) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow (of IOleInPlaceObject and IOleInPlaceActiveObject)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG message) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* message) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispid) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc, HDC dc,
                      LPCRECTL bounds, LPCRECTL metafileBounds, BOOL(STDMETHODCALLTYPE* proceed)(ULONG_PTR),
                      ULONG_PTR proceedArgument) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc,
                             LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override;

    // IObjectSafety. The options are always in force (the control does not
    // become less careful when asked to), so "enabled" is what is
    // supported. Setting options fails with E_FAIL for options not
    // supported, and while the control refuses its site.
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD optionSetMask, DWORD enabledOptions) override;

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
    // Sets every exchanged value to its default and redraws the control.
    virtual void OnResetState();
    // The control's persistent values; the base exchanges the extent and
    // the stock-property mask. A derived control exchanges its version
    // first and then calls the base.
    virtual void DoPropExchange(CPropExchange* exchange);
    // Loading: the stored version becomes the loaded version (a version
    // other than `defaultVersion` is accepted only when `convert`). Saving
    // and reset: `defaultVersion`. False when the exchange cannot go on.
    bool ExchangeVersion(CPropExchange* exchange, DWORD defaultVersion, bool convert = true);
    DWORD GetVersionLoaded() const { return m_versionLoaded; }
    // Paints the control into `dc` within `bounds`; the base paints nothing.
    virtual void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid);
    // The property pages' class ids and their count; the base has none.
    virtual const CLSID* GetPropPageIDs(ULONG& count);
    // The properties verb: the site's property frame if it shows one, the
    // platform's otherwise.
    HRESULT OnProperties(HWND parent);
    // Repaints the in-place window and tells view advise sinks.
    void InvalidateControl();

    // Calls every sink of the event connection point once, in connection
    // order, ignoring their failures. Nothing is fired when the event map
    // has no entry for `dispid` with parameters of these kinds, nor while
    // the container has frozen events (a control that must not lose an
    // event holds it until OnFreezeEvents(false)).
    void FireEvent(DISPID dispid, std::initializer_list<EventArgument> arguments);

    bool IsInitialized() const { return m_initialized; }

    // The INTERFACESAFE_* options the control is safe for on `iid`, one of
    // its interfaces; the base declares none.
    virtual DWORD GetInterfaceSafety(REFIID iid) const;
    // Whether the control agrees to work for its current site; the base
    // always does.
    virtual bool IsSiteAllowed() const;
    // Called after the container set a client site (or none).
    virtual void OnSetClientSite();
    IOleClientSite* ClientSite() const { return m_clientSite.Get(); }
    // Whether the container has frozen events (IOleControl::FreezeEvents,
    // which nests: each freeze is undone by one thaw).
    bool AreEventsFrozen() const { return m_eventsFrozen > 0; }
    // Called when events become frozen (true) or thawed again (false).
    virtual void OnFreezeEvents(bool freeze);

    // The framework's maps behind every control's own: empty.
    static const DispatchMap dispatchMap;
    static const EventMap eventMap;

private:
    std::span<const InterfaceEntry> GetInterfaceTable() const override;
    IUnknown* QueryRuntimeInterface(REFIID riid) override;
    HRESULT GetPrimaryTypeInfo(LCID lcid, ITypeInfo** info);
    HRESULT InitializeAsNew();
    // Runs a loading exchange; when it fails, resets instead. Either way
    // the control is initialised afterwards.
    HRESULT InitializeFrom(CPropExchange& exchange);
    HRESULT SaveThrough(CPropExchange& exchange, BOOL clearDirty);
    bool HasInterface(REFIID riid);
    LCID AmbientLocale() const;
    HWND SiteWindow() const;

    // In-place activation (ole_control_in_place.cpp).
    HRESULT InPlaceActivate(bool uiActivate, HWND parent, LPCRECT position);
    HRESULT CreateInPlaceWindow(HWND parent, const RECT& position);
    void Show(bool visible);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint(HWND window);

    const IID* m_primaryIid = nullptr;
    const IID* m_eventsIid = nullptr;
    CConnectionPoint m_eventPoint;
    CConnectionPoint m_propertyNotifyPoint;
    bool m_initialized = false;
    bool m_dirty = false;
    ULONG m_eventsFrozen = 0;

    // Persistent state of the framework.
    DWORD m_versionLoaded = 0;
    SIZEL m_extent{};  // HIMETRIC
    SIZEL m_defaultExtent{};

    // The container's side.
    Microsoft::WRL::ComPtr<IOleClientSite> m_clientSite;
    Microsoft::WRL::ComPtr<IOleInPlaceSite> m_inPlaceSite;
    Microsoft::WRL::ComPtr<IOleAdviseHolder> m_adviseHolder;
    Microsoft::WRL::ComPtr<IAdviseSink> m_viewSink;
    DWORD m_viewAspects = 0;
    DWORD m_viewFlags = 0;
    Microsoft::WRL::ComPtr<IOleInPlaceFrame> m_inPlaceFrame;
    bool m_uiActive = false;
    ModuleWindowClass::Use m_windowClass;  // held while the window lives
    UniqueWindow m_window;                 // the in-place window while active; last, so destroyed first
};
