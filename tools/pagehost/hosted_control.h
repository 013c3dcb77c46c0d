// One <object> of the page: created from its CLSID, given its site,
// initialised from its params, activated in place in the page window, with
// its events routed to the page's handlers; closed in the reverse order.
#pragma once

#include <ocidl.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/pagehost/com_object.h"
#include "tools/pagehost/control_site.h"
#include "tools/pagehost/event_handlers.h"
#include "tools/pagehost/event_sink.h"
#include "tools/pagehost/page.h"
#include "tools/pagehost/server_modules.h"

namespace pagehost {

struct HostOptions {
    std::wstring modulePath;  // load the class from this module, not the registry
    std::wstring pageUrl;     // what the sites tell as the page's location (none when empty)
    bool verbose = false;
};

class HostedControl {
public:
    // Null (and a message on stderr) when the object cannot be created or
    // refuses to be initialised. The module that serves it is held in
    // `modules`.
    static std::unique_ptr<HostedControl> Create(const PageObject& object, HWND window, RECT area,
                                                 const HostOptions& options, ServerModules& modules);
    ~HostedControl();
    HostedControl(const HostedControl&) = delete;
    HostedControl& operator=(const HostedControl&) = delete;

    const std::string& Id() const { return id_; }
    // Whether the control refused, through IObjectSafety, to be scripted or
    // initialised here: it is then neither, and the page sees its id as null.
    bool Refused() const { return refused_; }
    IUnknown* Object() const { return object_.Get(); }

    // Connects the handlers of `bindings` that name this object to its
    // event connection point. Returns false (with a message) when an event
    // name is unknown or the control has no event source.
    bool ConnectEvents(const std::vector<EventBinding>& bindings, PageSession& session, HandlerCall call);

    // Disconnects, deactivates and lets go of the control.
    void Close();

private:
    HostedControl(std::string id, ComPtr<IUnknown> object, bool verbose);
    HRESULT Initialise(const PageObject& object, HWND window, RECT area, const std::wstring& pageUrl);
    // Asks the control to be safe for `options` on `iid`, as a browser does;
    // false (with a message) when it refuses. A control without
    // IObjectSafety is taken as it is.
    bool AgreesToBeSafe(REFIID iid, DWORD options, const char* what);
    ComPtr<ITypeInfo> EventTypeInfo(IID& eventInterface) const;

    std::string id_;
    ComPtr<IUnknown> object_;
    ComPtr<ControlSite> site_;
    ComPtr<IOleObject> oleObject_;
    ComPtr<IConnectionPoint> eventPoint_;
    DWORD eventCookie_ = 0;
    std::wstring modulePath_;
    bool verbose_;
    bool refused_ = false;
};

}  // namespace pagehost
