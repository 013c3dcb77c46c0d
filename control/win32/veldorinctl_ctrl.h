// CVELDORINCTLCtrl: the ActiveX control a page creates. It publishes the
// reader methods through its dispatch map, fires DevCallAsyncBack through
// its event map, and forwards every method to ControlMethods with only the
// text conversion of the script boundary around it.
//
// The machine policy may lock the control to the pages of listed sites: the
// verdict is made whenever the container sets a client site, from the URL
// the site gives, and a refused page uses no reader (see ControlMethods) and
// is refused by IObjectSafety.
//
// The policy may also ask for a trace (trace/): the control writes the
// policy it read, the page's verdict, the interfaces DevOpen looked at and,
// through ControlMethods, every call.
//
// DevCallAsync's answers wait in call order in ControlMethods; the worker
// wakes the control's own thread, which fires the events there when it pumps
// messages, as an apartment-model object must. While the container has
// frozen events the answers keep waiting, and they are fired in order once
// it thaws them. While an event handler runs, the next answer waits too,
// even when the handler pumps messages (a modal dialog): an event never
// interrupts a running script. While answers are outstanding, the wake-up
// also comes on a timer, so that a wake-up message lost in the host's
// message loop delays an event but does not lose it.
#pragma once

#include <windows.h>

#include <oleidl.h>

#include "control/control_methods.h"
#include "control/win32/machine_policy.h"
#include "device/hid_interface.h"
#include "framework/object_factory.h"
#include "framework/ole_control.h"
#include "framework/runtime_class.h"
#include "framework/thread_wakeup.h"
#include "trace/win32/control_trace.h"
#include "win32/unique_bstr.h"

class CVELDORINCTLCtrl : public COleControl {
public:
    CVELDORINCTLCtrl();
    ~CVELDORINCTLCtrl() override;

    static const CRuntimeClass classCVELDORINCTLCtrl;

    // What the control tells containers of itself (IOleObject::GetMiscStatus
    // and the MiscStatus registry key).
    static constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                                         OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;

    // The control's class factory; its one instance and its registration
    // belong to the module.
    class CVELDORINCTLCtrlFactory : public COleObjectFactory {
    public:
        CVELDORINCTLCtrlFactory();
        ~CVELDORINCTLCtrlFactory() override;
        BOOL UpdateRegistry(BOOL bRegister) override;
    };
    static CVELDORINCTLCtrlFactory factory;

    // The methods, in dispatch-map order.
    long DevOpen();
    void DevClose(long hDev);
    UniqueBstr DevCall(const char* cmd);
    void DevCallAsync(const char* cmd);
    UniqueBstr GetX509ValidDate(const char* b64CAData);
    // Takes the certificate text whole: text with a zero inside is no
    // certificate, where a zero-terminated view would send the part before it.
    long LoadCA(long nFlag, std::string_view b64CAData);
    UniqueBstr GetX509Sn(const char* b64CAData);
    void AboutBox();

    STDMETHODIMP GetClassID(CLSID* classId) override;

protected:
    const DispatchMap& GetDispatchMap() const override;
    const EventMap& GetEventMap() const override;
    HRESULT GetTypeLib(LCID lcid, ITypeLib** typeLib) override;
    UINT GetUserTypeNameID() const override;
    DWORD GetMiscStatus() const override;
    void DoPropExchange(CPropExchange* exchange) override;
    void OnResetState() override;
    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
    const CLSID* GetPropPageIDs(ULONG& count) override;
    DWORD GetInterfaceSafety(REFIID iid) const override;
    bool IsSiteAllowed() const override;
    void OnSetClientSite() override;
    void OnFreezeEvents(bool freeze) override;

private:
    void FireDevCallAsyncBack(const char* backData);
    void OnAnswersArrived();
    // OpenHidDevice, telling the trace of each interface looked at.
    HidDevicePtr OpenReader(uint16_t vendorId, uint16_t productId);

    static const DispatchMap dispatchMap;
    static const EventMap eventMap;

    // Read once, when the control is made.
    const MachinePolicy m_policy;
    bool m_siteAllowed;
    bool m_firingEvents = false;        // an event handler is running
    std::string m_pageOrigin = "none";  // for the trace
    // Declared before m_methods, which writes to it from its worker.
    ControlTrace m_trace;
    // DevOpen's interface events, kept for a level 1 trace until DevOpen
    // has failed (they explain it) or succeeded (they are dropped).
    std::vector<TraceEvent> m_interfaceEvents;

    // Declared before m_methods so that it outlives the worker, which may
    // wake it until m_methods has stopped it.
    CThreadWakeup m_answersReady;
    ControlMethods m_methods;
};
