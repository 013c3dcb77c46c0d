#include "control/win32/veldorinctl_ctrl.h"

#include <objsafe.h>
#include <olectl.h>

#include <iterator>

#include "control/win32/about_box.h"
#include "control/setup_trace.h"
#include "control/win32/network_drive.h"
#include "control/win32/page_url.h"
#include "device/win32/hid_discovery.h"
#include "device/win32/named_reader_lock.h"
#include "framework/text_conversion.h"
#include "resources/dispids.h"
#include "resources/guids.h"
#include "resources/resource.h"

namespace {

// The version this code saves: major 1 in the high word, minor 0.
constexpr DWORD kVersion = 0x10000;

UniqueBstr NullableResult(const std::optional<std::string>& text) {
    return text ? AnsiTextToBstr(*text) : UniqueBstr();
}

// Sets a flag for the length of a scope.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace

const CRuntimeClass CVELDORINCTLCtrl::classCVELDORINCTLCtrl{"CVELDORINCTLCtrl", &COleControl::classCOleControl,
                                                            &CreateObjectOf<CVELDORINCTLCtrl>};

// Every entry names its DISPID, the one the type library gives it
// (resources/dispids.h): pages call by these numbers.
namespace {
constexpr DispatchEntry kDispatchEntries[] = {
    DispFunction<&CVELDORINCTLCtrl::DevOpen>(L"DevOpen", DISPID_DEVOPEN),
    DispFunction<&CVELDORINCTLCtrl::DevClose>(L"DevClose", DISPID_DEVCLOSE),
    DispFunction<&CVELDORINCTLCtrl::DevCall>(L"DevCall", DISPID_DEVCALL),
    DispFunction<&CVELDORINCTLCtrl::DevCallAsync>(L"DevCallAsync", DISPID_DEVCALLASYNC),
    DispFunction<&CVELDORINCTLCtrl::GetX509ValidDate>(L"GetX509ValidDate", DISPID_GETX509VALIDDATE),
    DispFunction<&CVELDORINCTLCtrl::LoadCA>(L"LoadCA", DISPID_LOADCA),
    DispFunction<&CVELDORINCTLCtrl::GetX509Sn>(L"GetX509Sn", DISPID_GETX509SN),
    DispFunction<&CVELDORINCTLCtrl::AboutBox>(L"AboutBox", DISPID_ABOUTBOX),
    DispStockFunction<&COleControl::DoClick>(L"DoClick", DISPID_DOCLICK),
};

constexpr VARTYPE kDevCallAsyncBackParams[] = {VTS_BSTR};
constexpr EventEntry kEventEntries[] = {
    {L"DevCallAsyncBack", DISPID_DEVCALLASYNCBACK, kDevCallAsyncBackParams, false},
};
}  // namespace

const DispatchMap CVELDORINCTLCtrl::dispatchMap{&COleControl::dispatchMap, kDispatchEntries};
const EventMap CVELDORINCTLCtrl::eventMap{kEventEntries};

CVELDORINCTLCtrl::CVELDORINCTLCtrl()
    : m_policy(ReadMachinePolicy()),
      // Under a lock, a control without a site has no page that could be
      // allowed.
      m_siteAllowed(!m_policy.siteLock.IsLocked()),
      m_trace(m_policy.trace),
      m_answersReady([this] { OnAnswersArrived(); }),
      m_methods([this](uint16_t vendorId, uint16_t productId) { return OpenReader(vendorId, productId); },
                [this] { m_answersReady.Wake(); }, &OpenNamedReaderLock) {
    InitializeIIDs(&DIID__DVELDORINCTL, &DIID__DVELDORINCTLEvents);
    Trace(&m_trace, TraceLevel::Calls, [] { return TraceEvent("created"); });
    if (m_trace.Wants(TraceLevel::Errors)) {
        try {
            for (const auto& [level, event] : PolicyEvents(m_policy, m_trace.Folder()))
                if (m_trace.Wants(level)) m_trace.Write(event);
        } catch (...) {
            // Out of memory: the policy's lines are lost, the control works.
        }
    }
    m_methods.SetTrace(&m_trace);
    m_methods.SetExchangeTimeout(m_policy.exchangeTimeout);
    m_methods.AllowReaders(m_siteAllowed);
}

CVELDORINCTLCtrl::~CVELDORINCTLCtrl() {
    // From here on no answer is fired, whether it waits already or the
    // worker finishes it before m_methods has stopped the worker.
    m_answersReady.Close();
    Trace(&m_trace, TraceLevel::Calls, [this] { return TraceEvent("destroyed").Add("origin", m_pageOrigin); });
}

const DispatchMap& CVELDORINCTLCtrl::GetDispatchMap() const {
    return dispatchMap;
}

const EventMap& CVELDORINCTLCtrl::GetEventMap() const {
    return eventMap;
}

HRESULT CVELDORINCTLCtrl::GetTypeLib(LCID lcid, ITypeLib** typeLib) {
    if (!typeLib) return E_POINTER;
    *typeLib = nullptr;
    return ::LoadRegTypeLib(LIBID_VELDORINCTLLib, kVeldorinctlTypeLibMajor, kVeldorinctlTypeLibMinor, lcid, typeLib);
}

STDMETHODIMP CVELDORINCTLCtrl::GetClassID(CLSID* classId) {
    if (!classId) return E_POINTER;
    *classId = CLSID_VELDORINCTL;
    return S_OK;
}

UINT CVELDORINCTLCtrl::GetUserTypeNameID() const {
    return IDS_VELDORINCTL;
}

DWORD CVELDORINCTLCtrl::GetMiscStatus() const {
    return kMiscStatus;
}

void CVELDORINCTLCtrl::DoPropExchange(CPropExchange* exchange) {
    ExchangeVersion(exchange, kVersion, true);
    COleControl::DoPropExchange(exchange);
}

// The reader connection is not state the container keeps: a reset leaves it
// as it is.
void CVELDORINCTLCtrl::OnResetState() {
    COleControl::OnResetState();
}

void CVELDORINCTLCtrl::OnDraw(HDC dc, const RECT& bounds, const RECT&) {
    ::FillRect(dc, &bounds, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
}

const CLSID* CVELDORINCTLCtrl::GetPropPageIDs(ULONG& count) {
    // Built on the first request and kept for the module's life.
    static const CLSID pages[] = {CLSID_VELDORINCTLPropPage};
    count = static_cast<ULONG>(std::size(pages));
    return pages;
}

// Consistent with the component categories the control is registered in:
// safe for scripting, safe for initialising from persistent data.
DWORD CVELDORINCTLCtrl::GetInterfaceSafety(REFIID iid) const {
    if (iid == IID_IDispatch || iid == DIID__DVELDORINCTL) return INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    if (iid == IID_IPersistPropertyBag || iid == IID_IPersistStreamInit || iid == IID_IPersistStorage)
        return INTERFACESAFE_FOR_UNTRUSTED_DATA;
    return 0;
}

bool CVELDORINCTLCtrl::IsSiteAllowed() const {
    return m_siteAllowed;
}

void CVELDORINCTLCtrl::OnSetClientSite() {
    // Without a lock the page's URL is read only for the trace.
    if (!m_policy.siteLock.IsLocked() && !m_trace.Wants(TraceLevel::Calls)) return;
    const SiteVerdict verdict = m_policy.siteLock.Judge(PageUrlOf(ClientSite()), &IsNetworkDrive);
    Trace(&m_trace, VerdictTraceLevel(verdict), [&] {
        m_pageOrigin = OriginOf(verdict);  // here, where running out of memory costs only the trace
        return VerdictEvent(verdict);
    });
    if (!m_policy.siteLock.IsLocked()) return;
    m_siteAllowed = verdict.allowed;
    m_methods.AllowReaders(m_siteAllowed);
}

HidDevicePtr CVELDORINCTLCtrl::OpenReader(uint16_t vendorId, uint16_t productId) {
    if (!m_trace.Wants(TraceLevel::Errors)) return OpenHidDevice(vendorId, productId);
    return OpenHidDevice(vendorId, productId, [&](const HidInterfaceSeen& seen, HidInterfaceVerdict verdict) {
        try {
            TraceEvent event = HidInterfaceEvent(seen, verdict, {vendorId, productId});
            if (m_trace.Wants(TraceLevel::Calls))
                m_trace.Write(event);
            else
                m_interfaceEvents.push_back(std::move(event));
        } catch (...) {
            // Out of memory: the line is lost, the search goes on.
        }
    });
}

long CVELDORINCTLCtrl::DevOpen() {
    m_interfaceEvents.clear();
    const long handle = m_methods.DevOpen();
    if (handle == 0)
        for (const TraceEvent& event : m_interfaceEvents) m_trace.Write(event);
    m_interfaceEvents.clear();
    return handle;
}

void CVELDORINCTLCtrl::DevClose(long hDev) {
    m_methods.DevClose(hDev);
}

UniqueBstr CVELDORINCTLCtrl::DevCall(const char* cmd) {
    return AnsiTextToBstr(m_methods.DevCall(cmd));
}

void CVELDORINCTLCtrl::DevCallAsync(const char* cmd) {
    m_methods.DevCallAsync(cmd);
    m_answersReady.Watch(true);
}

UniqueBstr CVELDORINCTLCtrl::GetX509ValidDate(const char* b64CAData) {
    return NullableResult(m_methods.GetX509ValidDate(b64CAData));
}

long CVELDORINCTLCtrl::LoadCA(long nFlag, std::string_view b64CAData) {
    return m_methods.LoadCA(nFlag, b64CAData);
}

UniqueBstr CVELDORINCTLCtrl::GetX509Sn(const char* b64CAData) {
    return NullableResult(m_methods.GetX509Sn(b64CAData));
}

void CVELDORINCTLCtrl::AboutBox() {
    ShowAboutBox();
}

void CVELDORINCTLCtrl::FireDevCallAsyncBack(const char* backData) {
    FireEvent(DISPID_DEVCALLASYNCBACK, {backData});
}

void CVELDORINCTLCtrl::OnAnswersArrived() {
    // A handler that pumps messages brings the next wake-up here while it
    // runs: that answer waits until the handler has returned, and the loop
    // below fires it then, in order.
    if (m_firingEvents) return;
    // A sink may release the control while handling the event; the control
    // stays alive until the answers are fired, and this is the last thing
    // that touches it. A sink may freeze events too: the rest then wait.
    ScopedReference keepAlive(*this);
    {
        const FlagScope firing(m_firingEvents);
        while (!AreEventsFrozen()) {
            const auto backData = m_methods.TakeAsyncAnswer();
            if (!backData) break;
            FireDevCallAsyncBack(backData->c_str());
        }
    }
    if (!m_methods.AsyncAnswersOutstanding()) m_answersReady.Watch(false);
}

void CVELDORINCTLCtrl::OnFreezeEvents(bool freeze) {
    // Thawed: the answers that waited are fired from the message loop, not
    // from inside the container's call.
    if (!freeze) m_answersReady.Wake();
}
